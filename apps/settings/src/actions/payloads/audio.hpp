#pragma once
// Operations of the Sound section. Devices, streams and profiles are the u32 ids of the live audio graph;
// 4294967295 names nothing (a producer's "no match").

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

struct AudioOperation {
    static constexpr std::string_view enum_name = "AudioOperation";
    static constexpr std::string_view kind = "settings.audio-operation";

    // Volume of the default output, 0 to 1.
    struct SetOutputVolume {
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetOutputVolume, value);
    };
    struct SetOutputMuted {
        bool muted = false;
        VORN_PAYLOAD_FIELDS(SetOutputMuted, muted);
    };
    // Volume of the default input, 0 to 1.
    struct SetInputVolume {
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetInputVolume, value);
    };
    // Left/right balance of the output, 0 to 1.
    struct SetBalance {
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetBalance, value);
    };
    struct SetMono {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetMono, enabled);
    };
    // Switch the audio device to its profile with this index.
    struct SetDeviceProfile {
        std::uint32_t device_id = 0;
        std::uint32_t profile_index = 0;
        VORN_PAYLOAD_FIELDS(SetDeviceProfile, device_id, profile_index);
    };
    // Route a playback (playback true: to an output) or recording stream (from an input); none = the default device.
    struct RouteStream {
        std::uint32_t stream_id = 0;
        bool playback = false;
        std::optional<std::uint32_t> device_id;
        VORN_PAYLOAD_FIELDS(RouteStream, stream_id, playback, device_id);
    };
    // Volume of one stream, 0 to 1.
    struct SetStreamVolume {
        std::uint32_t stream_id = 0;
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetStreamVolume, stream_id, value);
    };
    struct SetStreamMuted {
        std::uint32_t stream_id = 0;
        bool muted = false;
        VORN_PAYLOAD_FIELDS(SetStreamMuted, stream_id, muted);
    };
    VORN_PAYLOAD_UNIT(ToggleDiagnostics);  // show or hide the speaker diagnostics
    // Play the speaker test on the left (true) or right (false) channel.
    struct TestChannel {
        bool left = false;
        VORN_PAYLOAD_FIELDS(TestChannel, left);
    };
    VORN_PAYLOAD_UNIT(ToggleMicrophoneMeter);  // start or stop the microphone level meter
    struct SelectOutput {
        std::uint32_t device_id = 0;
        VORN_PAYLOAD_FIELDS(SelectOutput, device_id);
    };
    struct SelectInput {
        std::uint32_t device_id = 0;
        VORN_PAYLOAD_FIELDS(SelectInput, device_id);
    };
    // Route a playback stream to an output.
    struct RoutePlayback {
        std::uint32_t stream_id = 0;
        std::uint32_t device_id = 0;
        VORN_PAYLOAD_FIELDS(RoutePlayback, stream_id, device_id);
    };
    // Route a recording stream from an input.
    struct RouteRecording {
        std::uint32_t stream_id = 0;
        std::uint32_t device_id = 0;
        VORN_PAYLOAD_FIELDS(RouteRecording, stream_id, device_id);
    };

    using Variant = std::variant<SetOutputVolume, SetOutputMuted, SetInputVolume, SetBalance, SetMono,
                                 SetDeviceProfile, RouteStream, SetStreamVolume, SetStreamMuted, ToggleDiagnostics,
                                 TestChannel, ToggleMicrophoneMeter, SelectOutput, SelectInput, RoutePlayback,
                                 RouteRecording>;
    Variant value;
    VORN_PAYLOAD_ENUM(AudioOperation);
};

}  // namespace settings::actions
