// Whatever names and keys the system reports, the tree builds, every published action encodes an operation under
// its kind with example arguments, and every payload decodes again.
#include "actions/catalogue/catalogue.hpp"
#include "actions/catalogue/platform.hpp"
#include "actions/payloads/codec.hpp"
#include "vorn_log/log.hpp"

#include <spdlog/sinks/null_sink.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace settings::actions::catalogue;

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The input as texts separated by NUL bytes, handed out in turn (empty once they run out).
class Texts {
public:
    explicit Texts(std::string_view bytes)
    {
        std::size_t start = 0;
        while (start <= bytes.size()) {
            const std::size_t end = bytes.find('\0', start);
            parts_.emplace_back(bytes.substr(start, end == std::string_view::npos ? bytes.size() - start : end - start));
            if (end == std::string_view::npos) {
                break;
            }
            start = end + 1;
        }
    }
    std::string next() { return index_ < parts_.size() ? parts_[index_++] : std::string(); }
    [[nodiscard]] bool more() const { return index_ < parts_.size(); }

private:
    std::vector<std::string> parts_;
    std::size_t index_ = 0;
};

nlohmann::ordered_json example_arguments(const vorn_actions::ActionSpec& spec)
{
    auto args = nlohmann::ordered_json::object();
    for (const auto& param : spec.params) {
        switch (param.type) {
            case vorn_actions::ParamType::Boolean: args[param.name] = true; break;
            case vorn_actions::ParamType::Number: args[param.name] = 0.5; break;
            case vorn_actions::ParamType::Text:
                args[param.name] = param.choices.empty() ? std::string("x") : param.choices.back();
                break;
        }
    }
    return args;
}

void check(const vorn_actions::Resource& resource, std::set<std::string>& ids)
{
    require(ids.insert(resource.id).second);  // every resource id names one resource
    for (const auto& action : resource.actions) {
        auto encoded = action.build_json(example_arguments(action));
        require(encoded.has_value());
        if (encoded->kind == "settings.open-pane") {
            require(settings::actions::decode_open_pane_payload(encoded->payload).has_value());
        } else {
            require(settings::actions::decode_operation(encoded->kind, encoded->payload).has_value());
        }
    }
    for (const auto& child : resource.children) {
        check(child, ids);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // The builders log what they make of odd names; written out for every input, that would be most of the run.
    vorn_log::set_sink(std::make_shared<spdlog::sinks::null_sink_mt>());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Texts texts(std::string_view(reinterpret_cast<const char*>(data), size));
    auto platform = std::make_shared<FakePlatform>(FakePlatform::sample());
    std::vector<system_ops::bluez::BluetoothDevice> devices;
    std::vector<system_ops::printing::PrintQueue> queues;
    std::vector<account_registry::Account> accounts;
    for (int round = 0; round < 4 && texts.more(); ++round) {
        system_ops::bluez::BluetoothDevice device;
        device.name = texts.next();
        device.path = texts.next();
        device.paired = round % 2 == 0;
        devices.push_back(device);
        system_ops::printing::PrintQueue queue;
        queue.name = texts.next();
        queues.push_back(queue);
        platform->audio.sinks.push_back({.node_name = texts.next(), .display_name = texts.next(),
                                         .id = static_cast<std::uint32_t>(round)});
        account_registry::Account account(texts.next(), "email");
        account.display_name = texts.next();
        accounts.push_back(account);
        config_sections::hardware::OutputDescriptor output;
        output.connector = texts.next();
        output.name = texts.next();
        output.modes = {{1920, 1080, 60000}};
        platform->displays->outputs.push_back(output);
        platform->notification_app_list.push_back({texts.next(), texts.next()});
        platform->users->push_back({.name = texts.next(), .full_name = texts.next()});
    }
    platform->bluetooth = devices;
    platform->queues = queues;
    ScopedPlatform scoped(platform);
    page_doc::Document doc;
    const auto roots = build_root_resource(doc, accounts);
    require(roots.size() == 1 && roots[0].children.size() == 22);
    std::set<std::string> ids;
    check(roots[0], ids);
    return 0;
}
