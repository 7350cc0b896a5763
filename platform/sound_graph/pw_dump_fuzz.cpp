// pw-dump output is read as untrusted JSON: any text gives a graph or an error, never a crash, and every stream's
// volume stays within 0 to 1.
#include "sound_graph/audio.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto graph = sound_graph::audio::parse_pw_dump(std::string_view(reinterpret_cast<const char*>(data), size));
    if (graph) {
        for (const auto* streams : {&graph->playback_streams, &graph->recording_streams}) {
            for (const auto& stream : *streams) {
                if (stream.volume && !(*stream.volume >= 0.0F && *stream.volume <= 1.0F)) {
                    std::abort();
                }
                (void)stream.label();
            }
        }
        (void)graph->topology_signature();
    }
    return 0;
}
