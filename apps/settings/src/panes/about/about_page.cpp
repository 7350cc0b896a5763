#include "panes/about/about_page.hpp"

#include "page_helpers/layout.hpp"
#include "system_ops/tool_intent.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/widgets/button.hpp"

namespace settings::panes::about {

namespace ph = page_helpers;

namespace {

std::vector<ph::WidgetBox> value_rows(const std::vector<ValueRow>& rows)
{
    std::vector<ph::WidgetBox> out;
    out.reserve(rows.size());
    for (const ValueRow& row : rows) {
        out.push_back(ph::value_row(row.label, row.value));
    }
    return out;
}

}  // namespace

std::unique_ptr<vorn_ui::Widget> build_view(const SystemInfo& info)
{
    std::vector<ph::WidgetBox> identity = value_rows(identity_rows(info));
    identity.push_back(ph::caption(texts::kIdentityCaption));

    return ph::section_stack(ph::widgets(
                                 ph::icon_card(texts::kDeviceIcon, info.hostname, info.os_name),
                                 ph::labelled_card(texts::kIdentityCard, ph::compact_stack(std::move(identity))),
                                 ph::labelled_card(texts::kBackupCard,
                                                   ph::compact_stack(ph::widgets(
                                                       ph::caption(texts::kBackupCaption),
                                                       vorn_ui::Button(std::string(texts::kBackupButtonId),
                                                                       std::string(texts::kBackupButtonLabel))
                                                           .with_size(texts::kBackupButtonWidth,
                                                                      texts::kBackupButtonHeight)
                                                           .bind_action(open_backup_tool)))),
                                 ph::labelled_card(texts::kSystemCard, ph::compact_stack(value_rows(system_rows(info)))),
                                 ph::labelled_card(texts::kHardwareCard,
                                                   ph::compact_stack(value_rows(hardware_rows(info))))))
        .boxed();
}

void open_backup_tool()
{
    if (auto opened = system_ops::tool_intent::open_tool(system_ops::tool_intent::Tool::IdentityBackup); !opened) {
        VORN_WARN("about_backup_tool", "could not open the identity backup tool: {}", opened.error());
    }
}

std::unique_ptr<vorn_ui::Widget> build_pane() { return build_view(load_system_info()); }

}  // namespace settings::panes::about
