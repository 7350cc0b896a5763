// The model manager's report is read strictly: any text gives a snapshot or an error, never a crash, and whatever
// is shown of a snapshot is clean and bounded.
#include "system_ops/local_models.hpp"

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

void require_clean(const std::string& text)
{
    require(cmd_runner::clean_text(text, {.trim = true}) == text);
    require(text.size() <= 2048);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace system_ops::local_models;
    const auto snapshot = decode_snapshot(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!snapshot) {
        return 0;
    }
    require_clean(snapshot->hardware.reason);
    require_clean(snapshot->hardware.accelerator);
    for (const auto& model : snapshot->models) {
        require_clean(model.package.name);
        require_clean(model.package.description);
        if (const auto fraction = progress(model.phase)) {
            require(*fraction >= 0.0 && *fraction <= 1.0);
        }
        require(!phase_label(model.phase).empty());
    }
    (void)has_transitional_phase(*snapshot);
    (void)may_install(*snapshot);
    return 0;
}
