#pragma once
// BoundValue<T>: where a control's value lives besides the control itself: a key of the page document, a shared
// state cell, or both (or neither: a local control). Used by Toggle (bool), Slider (double) and Dropdown (text).
//
// A user change (set_by_user) takes effect in the control at once, is published into the state cell at once (cells
// may be shared with other threads), and is written into the document by the control's next sync (handle_event gets
// no document). Otherwise sync adopts what the document or the cell holds, so that the page (or an operation) can
// change the control: a newer publication in the cell wins over the document, a pending user change over both.

#include "page_doc/page_doc.hpp"
#include "vorn_ui/state.hpp"

#include <optional>
#include <string>
#include <utility>

namespace vorn_ui::widget {

namespace detail {
inline std::optional<bool> read_doc(const page_doc::Document& doc, const std::string& key, const bool*)
{
    return page_doc::doc_bool(doc, key);
}
inline std::optional<double> read_doc(const page_doc::Document& doc, const std::string& key, const double*)
{
    if (auto value = page_doc::doc_f64(doc, key)) {
        return value;
    }
    // A whole number written by a page (e.g. a percentage) still reads as a level.
    if (auto scalar = page_doc::doc_value(doc, key)) {
        if (const auto* i = std::get_if<std::int64_t>(&*scalar)) {
            return static_cast<double>(*i);
        }
        if (const auto* u = std::get_if<std::uint64_t>(&*scalar)) {
            return static_cast<double>(*u);
        }
    }
    return std::nullopt;
}
inline std::optional<std::string> read_doc(const page_doc::Document& doc, const std::string& key,
                                           const std::string*)
{
    return page_doc::doc_text(doc, key);
}
inline void write_doc(page_doc::Document& doc, const std::string& key, bool value) { doc.put_bool(key, value); }
inline void write_doc(page_doc::Document& doc, const std::string& key, double value) { doc.put_f64(key, value); }
inline void write_doc(page_doc::Document& doc, const std::string& key, const std::string& value)
{
    doc.put_str(key, value);
}
}  // namespace detail

template <class T>
class BoundValue {
public:
    explicit BoundValue(T initial) : value_(std::move(initial)) {}

    void bind_key(std::string key) { key_ = std::move(key); }
    void bind_state(LocalState<T> cell)
    {
        value_ = cell.get();
        seen_version_ = cell.version();
        cell_.emplace(std::move(cell));
    }
    [[nodiscard]] const std::optional<std::string>& key() const { return key_; }
    [[nodiscard]] const std::optional<LocalState<T>>& cell() const { return cell_; }

    [[nodiscard]] const T& value() const { return value_; }
    // A change made by the program (not the user): shown at once, written nowhere.
    void set_quietly(T value) { value_ = std::move(value); }

    // The user changed the value. Answers whether it differs from the shown one.
    bool set_by_user(T value)
    {
        if (value == value_) {
            return false;
        }
        value_ = std::move(value);
        pending_ = key_.has_value();
        if (cell_) {
            if (auto published = cell_->publish(value_)) {
                seen_version_ = *published;
            }
        }
        return true;
    }
    // Whether a user change still waits for the document.
    [[nodiscard]] bool pending() const { return pending_; }

    // Writes a pending change into the document, else adopts the cell's newer publication or the document's value.
    // Answers whether the shown value changed.
    bool sync(page_doc::Document& doc)
    {
        if (pending_ && key_) {
            detail::write_doc(doc, *key_, value_);
            pending_ = false;
            return false;
        }
        pending_ = false;
        if (cell_ && cell_->version() != seen_version_) {
            seen_version_ = cell_->version();
            const bool changed = adopt(cell_->get());
            if (changed && key_) {
                detail::write_doc(doc, *key_, value_);
            }
            return changed;
        }
        if (key_) {
            if (auto stored = detail::read_doc(doc, *key_, static_cast<const T*>(nullptr))) {
                return adopt(std::move(*stored));
            }
        }
        return false;
    }

private:
    bool adopt(T value)
    {
        if (value == value_) {
            return false;
        }
        value_ = std::move(value);
        return true;
    }

    T value_;
    std::optional<std::string> key_;
    std::optional<LocalState<T>> cell_;
    std::uint64_t seen_version_ = 0;
    bool pending_ = false;
};

}  // namespace vorn_ui::widget
