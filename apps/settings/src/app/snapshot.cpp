#include "app/snapshot.hpp"

#include "app/settings_app.hpp"
#include "page_doc/page_doc.hpp"

#include <algorithm>
#include <cmath>

namespace settings::app {

namespace {

bool positive_rect(const vorn_ui::Rect& r)
{
    return std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1) && r.x1 > r.x0 &&
           r.y1 > r.y0;
}

bool positive_rect_json(const nlohmann::ordered_json& rect)
{
    if (!rect.is_array() || rect.size() != 4 ||
        !std::ranges::all_of(rect, [](const auto& v) { return v.is_number(); })) {
        return false;
    }
    const vorn_ui::Rect r{rect[0].get<double>(), rect[1].get<double>(), rect[2].get<double>(),
                          rect[3].get<double>()};
    return positive_rect(r);
}

nlohmann::ordered_json member_or_null(const std::optional<nlohmann::ordered_json>& field, const char* name)
{
    if (!field || !field->contains(name)) {
        return nullptr;
    }
    return (*field)[name];
}

}  // namespace

nlohmann::ordered_json rect_json(const vorn_ui::Rect& rect)
{
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const double v : {rect.x0, rect.y0, rect.x1, rect.y1}) {
        if (std::isfinite(v)) {
            out.push_back(v);
        } else {
            out.push_back(nullptr);
        }
    }
    return out;
}

void read_search_field(const vorn_ui::Widget& widget, std::optional<nlohmann::ordered_json>& field,
                       std::vector<std::string>& section_ids)
{
    if (widget.label() == std::optional<std::string_view>(kSearchFieldId)) {
        nlohmann::ordered_json state;
        state["rect"] = rect_json(widget.get_rect());
        state["focused"] = widget.is_focused();
        const std::optional<vorn_ui::TextReview> review = widget.text_review();
        state["caret_byte"] = review ? nlohmann::ordered_json(review->caret) : nlohmann::ordered_json(nullptr);
        state["text"] = review ? nlohmann::ordered_json(review->text) : nlohmann::ordered_json(nullptr);
        field = std::move(state);
    }
    if (widget.widget_name() == "SidebarRow") {
        if (const auto label = widget.label()) {
            for (const Section section : sidebar_order()) {
                if (section.title() == *label) {
                    section_ids.emplace_back(section.id());
                    break;
                }
            }
        }
    }
    widget.for_each_child([&](const vorn_ui::Widget& child) { read_search_field(child, field, section_ids); });
}

std::optional<nlohmann::ordered_json> SettingsApp::state_snapshot(const page_doc::Document& doc) const
{
    std::optional<nlohmann::ordered_json> field;
    std::vector<std::string> ids;
    read_search_field(*this, field, ids);

    // The heads are read from a disposable copy, so the passed document's open transaction stays as it is.
    page_doc::Document copy = doc.clone();
    std::vector<std::string> heads;
    for (const page_doc::ChangeHash& head : copy.get_heads()) {
        heads.push_back(head.to_hex());
    }
    std::ranges::sort(heads);

    const bool ready = positive_rect(rect_) && field && positive_rect_json((*field)["rect"]);

    nlohmann::ordered_json out;
    out["app"] = "so.vorn.settings";
    out["search_id"] = kSearchFieldId;
    out["ready"] = ready;
    out["local_search_text"] = search_text_.get();
    out["synchronized_search_query"] = search_query_;
    out["search_widget_text"] = member_or_null(field, "text");
    out["search_caret_byte"] = member_or_null(field, "caret_byte");
    out["search_focused"] = member_or_null(field, "focused");
    out["search_rect"] = member_or_null(field, "rect");
    out["root_rect"] = rect_json(rect_);
    out["selected_category"] = selected_.id();
    out["rendered_result_count"] = ids.size();
    out["rendered_category_ids"] = ids;
    out["narrow"] = is_narrow();
    out["sidebar_open"] = shell_ != nullptr && !(shell_->is_narrow() && !shell_->nav_open());
    out["document_root"] = page_doc::to_string(page_doc::ROOT);
    out["document_actor"] = doc.actor_id().to_hex_string();
    out["document_witness_kind"] = "effective_heads_on_disposable_clone";
    out["effective_document_heads"] = heads;
    out["original_pending_ops"] = doc.pending_ops();
    return out;
}

}  // namespace settings::app
