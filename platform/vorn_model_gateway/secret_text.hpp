#pragma once
// A secret held in memory (an API key, the key store's own key): one fixed heap buffer that is never reallocated
// and is wiped with sodium_memzero when the object is destroyed or assigned over. Move-only; it is never printed.

#include <cstddef>
#include <memory>
#include <string_view>

namespace vorn_model_gateway {

class SecretText {
public:
    SecretText() = default;
    // `size` zero bytes.
    explicit SecretText(std::size_t size);
    [[nodiscard]] static SecretText copy_of(std::string_view text);

    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(SecretText&& other) noexcept;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText();

    [[nodiscard]] std::string_view view() const { return {data_.get(), size_}; }
    [[nodiscard]] char* data() { return data_.get(); }
    [[nodiscard]] const char* data() const { return data_.get(); }
    [[nodiscard]] unsigned char* bytes() { return reinterpret_cast<unsigned char*>(data_.get()); }
    [[nodiscard]] const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(data_.get()); }
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }

    // Wipes and frees the buffer now.
    void clear();

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

}  // namespace vorn_model_gateway
