// Network, Bluetooth and Printers.

#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/support.hpp"

#include <array>

namespace settings::actions::catalogue {

Resource network_resource()
{
    Resource section = bare_section_resource(Section::Network);
    section.actions.push_back(new_action_spec("wifi", "Set Wi-Fi power", hints::on_off_device, effect_operation,
                                              NetworkOperation::kind, {switch_param()}, wifi_parser())
                                  .with_contract(tags({"device-local", "network", "hardware"})));
    struct Row {
        std::string_view id;
        std::string_view title;
        NetworkOperation operation;
    };
    using N = NetworkOperation;
    const std::array<Row, 10> rows{{
        {"refresh", "Refresh network list", N(N::Refresh{})},
        {"run-diagnostics", "Run network diagnostics", N(N::RunDiagnostics{})},
        {"enable-wired", "Enable wired networking", N(N::SetWiredEnabled{true})},
        {"disable-wired", "Disable wired networking", N(N::SetWiredEnabled{false})},
        {"enable-airplane-mode", "Enable airplane mode", N(N::SetAirplaneMode{true})},
        {"disable-airplane-mode", "Disable airplane mode", N(N::SetAirplaneMode{false})},
        {"enable-hotspot", "Enable hotspot", N(N::SetHotspot{true})},
        {"disable-hotspot", "Disable hotspot", N(N::SetHotspot{false})},
        {"enable-mobile-broadband", "Enable mobile broadband", N(N::SetMobileBroadband{true})},
        {"disable-mobile-broadband", "Disable mobile broadband", N(N::SetMobileBroadband{false})},
    }};
    for (const auto& row : rows) {
        add_action(section, fixed_action(row.id, row.title, row.operation, tags({"device-local", "network"})));
    }
    return section;
}

Resource bluetooth_resource()
{
    using B = BluetoothOperation;
    Resource section = bare_section_resource(Section::Bluetooth);
    section.actions.push_back(new_action_spec("bluetooth", "Set Bluetooth power", hints::on_off_device,
                                              effect_operation, B::kind, {switch_param()}, bluetooth_power_parser())
                                  .with_contract(tags({"device-local", "bluetooth", "hardware"})));
    add_action(section, fixed_action("scan", "Scan for Bluetooth devices", B(B::StartScan{}),
                                     tags({"device-local", "bluetooth"})));
    add_action(section,
               fixed_action("refresh", "Refresh Bluetooth devices", B(B::Refresh{}), tags({"device-local", "bluetooth"})));

    auto devices = current_platform()->bluetooth_devices();
    if (!devices) {
        VORN_INFO(kLogTag, "no Bluetooth devices published: {}", devices.error());
        return section;
    }
    const auto shown = capped(*devices, kObjectLimit, "Bluetooth devices");
    std::vector<std::string> titles;
    for (const auto& device : shown) {
        titles.push_back(clean_label(device.name, device.address.empty() ? device.path : device.address));
    }
    titles = distinct_labels(std::move(titles));
    PublishedKeys published("a Bluetooth device");
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto& device = shown[i];
        if (!published.admit(device.path)) {
            continue;
        }
        Resource resource("settings.bluetooth-device:" + device.path, "settings.bluetooth-device", titles[i]);
        const auto live = tags({"device-local", "bluetooth", "live-device"});
        if (!device.paired) {
            add_action(resource, fixed_action("pair", "Pair", B(B::Pair{device.path}), live));
        } else {
            if (device.connected) {
                add_action(resource, fixed_action("disconnect", "Disconnect", B(B::Disconnect{device.path}), live));
            } else {
                add_action(resource, fixed_action("connect", "Connect", B(B::Connect{device.path}), live));
            }
            auto forget = fixed_action("forget", "Forget device", B(B::Forget{device.path}),
                                       tags({"device-local", "bluetooth", "destructive", "live-device"}));
            if (forget) {
                add_action(resource, std::move(*forget).destructive());
            }
        }
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

Resource printers_resource()
{
    using P = PrinterOperation;
    Resource section = bare_section_resource(Section::Printers);
    add_action(section, fixed_action("refresh", "Refresh printers", P(P::Refresh{}), tags({"device-local", "printers"})));
    add_action(section,
               fixed_action("discover", "Find network printers", P(P::Discover{}), tags({"device-local", "printers"})));

    auto platform = current_platform();
    if (auto queues = platform->print_queues()) {
        PublishedKeys published("a print queue");
        for (const auto& queue : capped(*queues, kObjectLimit, "print queues")) {
            if (!published.admit(queue.name)) {
                continue;
            }
            const auto live = tags({"device-local", "printers", "live-queue"});
            Resource resource("settings.printer:" + queue.name, "settings.printer", clean_label(queue.name));
            add_action(resource, fixed_action("set-default", "Set as default printer", P(P::SetDefault{queue.name}), live));
            if (queue.state == system_ops::printing::QueueState::Paused) {
                add_action(resource,
                           fixed_action("enable", "Enable printer", P(P::SetEnabled{queue.name, true}), live));
            } else {
                add_action(resource, fixed_action("pause", "Pause printer", P(P::SetEnabled{queue.name, false}), live));
            }
            if (auto remove = fixed_action("remove", "Remove printer", P(P::Remove{queue.name}), live)) {
                add_action(resource, std::move(*remove).destructive());
            }
            section = std::move(section).with_child(std::move(resource));
        }
    } else {
        VORN_INFO(kLogTag, "no print queues published: {}", queues.error());
    }
    if (auto jobs = platform->print_jobs()) {
        PublishedKeys published("a print job");
        for (const auto& job : capped(*jobs, kObjectLimit, "print jobs")) {
            if (!published.admit(job.id)) {
                continue;
            }
            const auto live = tags({"device-local", "printers", "live-job"});
            Resource resource("settings.print-job:" + job.id, "settings.print-job", clean_label(job.id));
            add_action(resource, fixed_action("cancel", "Cancel print job", P(P::CancelJob{job.id}), live));
            add_action(resource, fixed_action("retry", "Retry print job", P(P::RetryJob{job.id}), live));
            section = std::move(section).with_child(std::move(resource));
        }
    } else {
        VORN_INFO(kLogTag, "no print jobs published: {}", jobs.error());
    }
    return section;
}

}  // namespace settings::actions::catalogue
