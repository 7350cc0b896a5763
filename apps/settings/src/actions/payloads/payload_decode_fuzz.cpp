// libFuzzer target for the payload reader. The first byte chooses the operation kind (its index in
// fuzz_kinds below), the rest is the payload.
//
// Besides not crashing, a payload that decodes must be JSON, must write back, and its written form must read back
// to the same value and write the same text again; the operation key must agree with the decoded value.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "actions/payloads/codec.hpp"

namespace {

using namespace settings::actions;

constexpr std::array<std::string_view, 18> fuzz_kinds{
    "settings.open-pane",          "settings.account-operation",       "settings.update-operation",
    "settings.keyboard-source-operation", "settings.input-operation", "settings.time-date-operation",
    "settings.power-operation",    "settings.network-operation",       "settings.bluetooth-operation",
    "settings.storage-operation",  "settings.audio-operation",         "settings.display-operation",
    "settings.printer-operation",  "settings.user-operation",          "settings.agent-model-operation",
    "settings.device-mesh-operation", "settings.agent-provider-operation", "settings.action"};

[[noreturn]] void violated(std::string_view what, std::string_view kind, std::string_view detail)
{
    std::fprintf(stderr, "payload_decode_fuzz: %.*s (%.*s): %.*s\n", static_cast<int>(what.size()), what.data(),
                 static_cast<int>(kind.size()), kind.data(), static_cast<int>(detail.size()), detail.data());
    std::abort();
}

void check_open_pane(std::string_view payload)
{
    const auto section = decode_open_pane_payload(payload);
    if (!section) {
        return;
    }
    if (!nlohmann::json::accept(payload)) {
        violated("accepted text that is not JSON", "settings.open-pane", payload);
    }
    const auto written = encode_open_pane_payload(*section);
    if (!written || decode_open_pane_payload(*written) != section) {
        violated("section id does not round-trip", "settings.open-pane", payload);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::string_view kind = fuzz_kinds[data[0] % fuzz_kinds.size()];
    const std::string_view payload(reinterpret_cast<const char*>(data + 1), size - 1);
    if (kind == open_pane_kind) {
        check_open_pane(payload);
        return 0;
    }

    const auto decoded = decode_operation(kind, payload);
    const auto key = parse_device_local_operation(kind, payload);
    if (is_device_local_kind(kind) && key.has_value() != decoded.has_value()) {
        violated("parse_device_local_operation disagrees with decode_operation", kind, payload);
    }
    if (!decoded) {
        if (decoded.error().empty()) {
            violated("refused without a message", kind, payload);
        }
        return 0;
    }
    if (!nlohmann::json::accept(payload)) {
        violated("accepted text that is not JSON", kind, payload);
    }

    const auto written = encode_payload(*decoded);
    if (!written) {
        violated("a decoded value cannot be written", kind, written.error());
    }
    const auto again = decode_operation(kind, *written);
    if (!again) {
        violated("the written form is refused", kind, again.error());
    }
    if (*again != *decoded) {
        violated("the written form reads back to another value", kind, *written);
    }
    if (encode_payload(*again) != written) {
        violated("writing is not repeatable", kind, *written);
    }
    const auto pretty = encode_payload(*decoded, JsonStyle::Pretty);
    if (!pretty || decode_operation(kind, *pretty) != decoded) {
        violated("the pretty form does not read back", kind, *written);
    }
    if (key && *key != std::string(kind) + ":" + *written) {
        violated("the operation key is not the kind and the compact form", kind, *key);
    }
    return 0;
}
