#pragma once
// Short secrets handed between the settings and the system layer (a passphrase, a sealed Wi-Fi password).

#include <string>
#include <string_view>

namespace system_ops {

// A std::string holding a secret: its bytes are wiped when it is destroyed. Copies are wiped too.
class SecretText {
public:
    SecretText() = default;
    explicit SecretText(std::string_view text) : text_(text) {}
    SecretText(const SecretText& other) : text_(other.text_) {}
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(const SecretText& other);
    SecretText& operator=(SecretText&& other) noexcept;
    ~SecretText() { wipe(); }

    [[nodiscard]] std::string_view view() const { return text_; }
    [[nodiscard]] const std::string& str() const { return text_; }
    [[nodiscard]] bool empty() const { return text_.empty(); }
    void wipe();

    friend bool operator==(const SecretText& a, const SecretText& b) { return a.text_ == b.text_; }

private:
    std::string text_;
};

}  // namespace system_ops
