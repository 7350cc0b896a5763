#pragma once
// Secret bytes in memory: held in one locked block (sodium_malloc: kept out of swap, guard pages around it) that is
// wiped when the value is destroyed, assigned over or wiped (sodium_free zeroes it). Copies are explicit (clone()),
// so that no stray copy outlives its use.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace account_registry {

class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(std::size_t size);  // zero-filled
    explicit SecretBytes(std::span<const std::uint8_t> bytes);
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes();

    [[nodiscard]] SecretBytes clone() const { return SecretBytes(bytes()); }
    void wipe();  // zeroes and releases the buffer; the value becomes empty

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::uint8_t* data() { return data_; }
    [[nodiscard]] const std::uint8_t* data() const { return data_; }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// A secret text (a password or an app password): UTF-8 in wiped memory.
class SecretString {
public:
    SecretString() = default;
    explicit SecretString(std::string_view text);
    explicit SecretString(SecretBytes bytes) : bytes_(std::move(bytes)) {}

    [[nodiscard]] SecretString clone() const { return SecretString(bytes_.clone()); }
    void wipe() { bytes_.wipe(); }

    [[nodiscard]] std::string_view view() const
    {
        return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
    }
    [[nodiscard]] bool empty() const { return bytes_.empty(); }
    [[nodiscard]] std::size_t size() const { return bytes_.size(); }
    [[nodiscard]] const SecretBytes& bytes() const { return bytes_; }

    // Constant-time comparison of the contents.
    [[nodiscard]] bool equals(std::string_view other) const;

private:
    SecretBytes bytes_;
};

}  // namespace account_registry
