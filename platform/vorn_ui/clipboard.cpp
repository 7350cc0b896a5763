#include "vorn_ui/clipboard.hpp"

namespace vorn_ui {

namespace {
Clipboard* installed = nullptr;
}  // namespace

Clipboard& clipboard()
{
    static MemoryClipboard memory;
    return installed != nullptr ? *installed : memory;
}

Clipboard* install_clipboard(Clipboard* clipboard)
{
    Clipboard* previous = installed;
    installed = clipboard;
    return previous;
}

}  // namespace vorn_ui
