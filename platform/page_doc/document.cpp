#include "page_doc/page_doc.hpp"

#include "text_utf8/text_utf8.hpp"

#include <fmt/format.h>
#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <span>

namespace page_doc {
namespace {

void ensure_sodium()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0) {
            std::abort();  // no usable random source: nothing sensible can run
        }
    });
}

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u; }

std::size_t count_chars(std::string_view s)
{
    std::size_t n = 0;
    for (char c : s) {
        n += is_continuation(c) ? 0 : 1;
    }
    return n;
}

// Byte offset of the character at `index`, or npos when the text is shorter.
std::size_t byte_offset(std::string_view s, std::size_t index)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (is_continuation(s[i])) {
            continue;
        }
        if (chars == index) {
            return i;
        }
        ++chars;
    }
    return chars == index ? s.size() : std::string_view::npos;
}

void append_u64(std::string& out, std::uint64_t v)
{
    for (int shift = 56; shift >= 0; shift -= 8) {
        out += static_cast<char>((v >> shift) & 0xFFu);
    }
}

void append_bytes(std::string& out, std::string_view bytes)
{
    append_u64(out, bytes.size());
    out += bytes;
}

void append_scalar(std::string& out, const ScalarValue& value)
{
    out += static_cast<char>(value.index());
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                out += v ? '\1' : '\0';
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                append_u64(out, static_cast<std::uint64_t>(v));
            } else if constexpr (std::is_same_v<T, std::uint64_t>) {
                append_u64(out, v);
            } else if constexpr (std::is_same_v<T, double>) {
                std::uint64_t bits = 0;
                std::memcpy(&bits, &v, sizeof bits);
                append_u64(out, bits);
            } else {
                append_bytes(out, v);
            }
        },
        value);
}

std::string hex(std::span<const std::uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

}  // namespace

std::string to_string(ObjId id) { return id.is_root() ? std::string("Root") : fmt::format("text#{}", id.counter()); }

ActorId ActorId::random()
{
    ensure_sodium();
    ActorId actor;
    randombytes_buf(actor.bytes.data(), actor.bytes.size());
    return actor;
}

std::string ActorId::to_hex_string() const { return hex(bytes); }

std::string ChangeHash::to_hex() const { return hex(bytes); }

Document::Document() : actor_(ActorId::random()) {}

Document::Document(const ActorId& actor) : actor_(actor) {}

const Value* Document::get(std::string_view key) const
{
    const auto it = root_.find(key);
    return it == root_.end() ? nullptr : &it->second;
}

std::vector<std::string> Document::keys() const
{
    std::vector<std::string> out;
    out.reserve(root_.size());
    for (const auto& [key, value] : root_) {
        out.push_back(key);
    }
    return out;
}

std::optional<std::string> Document::text(ObjId text_object) const
{
    const auto it = texts_.find(text_object.counter());
    if (it == texts_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::string* Document::text_of(ObjId id)
{
    const auto it = texts_.find(id.counter());
    return it == texts_.end() ? nullptr : &it->second;
}

void Document::record(std::string_view encoded_op, std::size_t op_count)
{
    pending_encoding_ += encoded_op;
    pending_ops_ += op_count;
    ++revision_;
}

void Document::put(std::string_view key, ScalarValue value)
{
    std::string op = "P";
    append_bytes(op, key);
    append_scalar(op, value);
    record(op, 1);

    auto it = root_.find(key);
    if (it == root_.end()) {
        it = root_.emplace(std::string(key), Value{}).first;
    } else if (const auto* text = std::get_if<TextObject>(&it->second)) {
        texts_.erase(text->id.counter());
    }
    std::visit([&](auto&& v) { it->second = std::forward<decltype(v)>(v); }, std::move(value));
}

ObjId Document::put_text_object(std::string_view key)
{
    const ObjId id(next_counter_++);
    std::string op = "T";
    append_bytes(op, key);
    append_u64(op, id.counter());
    record(op, 1);

    auto it = root_.find(key);
    if (it == root_.end()) {
        it = root_.emplace(std::string(key), Value{}).first;
    } else if (const auto* text = std::get_if<TextObject>(&it->second)) {
        texts_.erase(text->id.counter());
    }
    it->second = TextObject{id};
    texts_.emplace(id.counter(), std::string());
    return id;
}

bool Document::remove(std::string_view key)
{
    const auto it = root_.find(key);
    if (it == root_.end()) {
        return false;
    }
    std::string op = "D";
    append_bytes(op, key);
    record(op, 1);
    if (const auto* text = std::get_if<TextObject>(&it->second)) {
        texts_.erase(text->id.counter());
    }
    root_.erase(it);
    return true;
}

std::expected<void, std::string> Document::splice_text(ObjId text_object, std::size_t position, std::size_t deleted,
                                                       std::string_view inserted)
{
    std::string* text = text_of(text_object);
    if (text == nullptr) {
        return std::unexpected(fmt::format("{} is not a Text object of this document", to_string(text_object)));
    }
    if (!text_utf8::valid(inserted)) {
        return std::unexpected(std::string("inserted text is not valid UTF-8"));
    }
    const std::size_t start = byte_offset(*text, position);
    if (start == std::string::npos) {
        return std::unexpected(fmt::format("position {} is beyond the end of the text", position));
    }
    const std::size_t end = byte_offset(std::string_view(*text).substr(start), deleted);
    if (end == std::string::npos) {
        return std::unexpected(fmt::format("cannot delete {} characters at position {}", deleted, position));
    }
    if (deleted == 0 && inserted.empty()) {
        return {};
    }
    std::string op = "S";
    append_u64(op, text_object.counter());
    append_u64(op, position);
    append_u64(op, deleted);
    append_bytes(op, inserted);
    record(op, deleted + count_chars(inserted));
    text->replace(start, end, inserted);
    return {};
}

std::expected<void, std::string> Document::update_text(ObjId text_object, std::string_view new_text)
{
    const std::string* current = text_of(text_object);
    if (current == nullptr) {
        return std::unexpected(fmt::format("{} is not a Text object of this document", to_string(text_object)));
    }
    const std::string_view old_text = *current;
    // The longest common prefix and suffix, on character boundaries.
    std::size_t prefix = 0;
    const std::size_t limit = std::min(old_text.size(), new_text.size());
    while (prefix < limit && old_text[prefix] == new_text[prefix]) {
        ++prefix;
    }
    while (prefix > 0 && ((prefix < old_text.size() && is_continuation(old_text[prefix])) ||
                          (prefix < new_text.size() && is_continuation(new_text[prefix])))) {
        --prefix;
    }
    std::size_t suffix = 0;
    while (suffix < limit - prefix &&
           old_text[old_text.size() - 1 - suffix] == new_text[new_text.size() - 1 - suffix]) {
        ++suffix;
    }
    while (suffix > 0 && is_continuation(old_text[old_text.size() - suffix])) {
        --suffix;
    }
    const std::size_t position = count_chars(old_text.substr(0, prefix));
    const std::size_t deleted = count_chars(old_text.substr(prefix, old_text.size() - suffix - prefix));
    const std::string inserted(new_text.substr(prefix, new_text.size() - suffix - prefix));
    return splice_text(text_object, position, deleted, inserted);
}

ChangeHash Document::pending_change_hash() const
{
    ensure_sodium();
    std::string change = "vorn.page_doc.change.1";
    change.append(reinterpret_cast<const char*>(actor_.bytes.data()), actor_.bytes.size());
    append_u64(change, seq_ + 1);
    append_u64(change, pending_ops_);
    append_u64(change, heads_.size());
    for (const auto& head : heads_) {
        change.append(reinterpret_cast<const char*>(head.bytes.data()), head.bytes.size());
    }
    change += pending_encoding_;
    ChangeHash hash;
    crypto_hash_sha256(hash.bytes.data(), reinterpret_cast<const unsigned char*>(change.data()), change.size());
    return hash;
}

std::optional<ChangeHash> Document::commit()
{
    if (pending_ops_ == 0) {
        return std::nullopt;
    }
    const ChangeHash hash = pending_change_hash();
    ++seq_;
    heads_ = {hash};
    pending_ops_ = 0;
    pending_encoding_.clear();
    return hash;
}

std::vector<ChangeHash> Document::get_heads()
{
    commit();
    return heads_;
}

std::vector<ChangeHash> Document::effective_heads() const
{
    if (pending_ops_ == 0) {
        return heads_;
    }
    return {pending_change_hash()};
}

std::optional<ScalarValue> doc_value(const Document& doc, std::string_view key)
{
    const Value* value = doc.get(key);
    if (value == nullptr || std::holds_alternative<TextObject>(*value)) {
        return std::nullopt;
    }
    return std::visit(
        [](const auto& v) -> std::optional<ScalarValue> {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, TextObject>) {
                return std::nullopt;
            } else {
                return ScalarValue(v);
            }
        },
        *value);
}

template <class T>
static std::optional<T> scalar_of(const Document& doc, std::string_view key)
{
    const Value* value = doc.get(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (const auto* v = std::get_if<T>(value)) {
        return *v;
    }
    return std::nullopt;
}

std::optional<bool> doc_bool(const Document& doc, std::string_view key) { return scalar_of<bool>(doc, key); }

std::optional<double> doc_f64(const Document& doc, std::string_view key) { return scalar_of<double>(doc, key); }

bool take_doc_flag(Document& doc, std::string_view key)
{
    if (doc_bool(doc, key) != true) {
        return false;
    }
    doc.put_bool(key, false);
    return true;
}

std::optional<std::string> doc_string(const Document& doc, std::string_view key)
{
    return scalar_of<std::string>(doc, key);
}

std::optional<std::string> doc_text(const Document& doc, std::string_view key)
{
    const Value* value = doc.get(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (const auto* text = std::get_if<TextObject>(value)) {
        return doc.text(text->id);
    }
    if (const auto* s = std::get_if<std::string>(value)) {
        return *s;
    }
    return std::nullopt;
}

ObjId seed_text_object(Document& doc, std::string_view key)
{
    std::string remembered;
    if (const Value* value = doc.get(key)) {
        if (const auto* text = std::get_if<TextObject>(value)) {
            return text->id;
        }
        if (const auto* s = std::get_if<std::string>(value)) {
            remembered = *s;
        }
    }
    const ObjId id = doc.put_text_object(key);
    if (!remembered.empty()) {
        // A stored string is not necessarily valid UTF-8; the Text object then starts empty.
        [[maybe_unused]] auto ignored = doc.splice_text(id, 0, 0, remembered);
    }
    return id;
}

}  // namespace page_doc
