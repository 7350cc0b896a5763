// Replies come from another process: whatever bytes arrive, reading them gives a snapshot or report whose names are
// clean and bounded and whose eviction counts stay within the selection, or one sentence; it never crashes.
#include "synced_files/storage_client.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace synced_files::storage;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    if (const auto snapshot = decode_snapshot_reply(line)) {
        for (const auto& file : snapshot->files) {
            require(file.display_name.size() <= max_name_bytes);
            require(!file.id.empty() && file.id.size() <= max_id_bytes);
            for (const char c : file.display_name) {
                require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
            }
        }
    } else {
        require(!snapshot.error().empty());
    }
    if (const auto report = decode_eviction_reply(line, 3)) {
        require(report->evicted + report->queued <= 3);
    }
    return 0;
}
