#pragma once
// The clipboard the text widgets copy to and paste from. The running window installs the system clipboard (SDL's);
// without a window (tests, tools) a process-wide memory clipboard answers.
//
//   vorn_ui::clipboard().set_text(selected);               // copy
//   if (auto pasted = vorn_ui::clipboard().text()) ...     // paste
//
// UI thread only. Never put a secret on the clipboard (masked inputs do not copy).

#include <optional>
#include <string>
#include <string_view>

namespace vorn_ui {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The clipboard's text; none when it holds no text or cannot be read.
    [[nodiscard]] virtual std::optional<std::string> text() const = 0;
    // Replaces the clipboard's text; false when the clipboard refused it.
    virtual bool set_text(std::string_view text) = 0;

protected:
    Clipboard() = default;
    Clipboard(const Clipboard&) = default;
    Clipboard& operator=(const Clipboard&) = default;
};

class MemoryClipboard final : public Clipboard {
public:
    [[nodiscard]] std::optional<std::string> text() const override { return text_; }
    bool set_text(std::string_view text) override
    {
        text_ = std::string(text);
        return true;
    }

private:
    std::optional<std::string> text_;
};

// The installed clipboard, else the process-wide memory clipboard.
[[nodiscard]] Clipboard& clipboard();
// Installs `clipboard` (not owned; nullptr: back to the memory clipboard) and answers the previous installation.
Clipboard* install_clipboard(Clipboard* clipboard);

}  // namespace vorn_ui
