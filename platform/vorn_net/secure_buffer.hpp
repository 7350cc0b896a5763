#pragma once
// A fixed-size byte buffer for credentials on their way to the wire (an IMAP LOGIN line, an HTTP Authorization
// header): allocated with sodium_malloc (locked out of swap, guard pages around it) and wiped and released with
// sodium_free when it goes. Move-only; its size is fixed at construction.
//
//   auto line = vorn_net::SecureBuffer(6 + secret.size());
//   line.append("PASS ").append(secret).append("\n");
//   write(line.view());

#include <cstddef>
#include <string_view>

namespace vorn_net {

class SecureBuffer {
public:
    SecureBuffer() = default;
    explicit SecureBuffer(std::size_t capacity);
    SecureBuffer(SecureBuffer&& other) noexcept;
    SecureBuffer& operator=(SecureBuffer&& other) noexcept;
    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;
    ~SecureBuffer();

    // A buffer holding exactly `text`.
    [[nodiscard]] static SecureBuffer copy_of(std::string_view text);

    // Appends `text`; the capacity must hold it (a longer text is a programming error and aborts).
    SecureBuffer& append(std::string_view text);
    SecureBuffer& append(char c) { return append(std::string_view(&c, 1)); }

    [[nodiscard]] std::string_view view() const { return {data_, size_}; }
    [[nodiscard]] char* data() { return data_; }
    [[nodiscard]] const char* c_str() const;  // NUL-terminated (one byte is kept for it)
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::size_t capacity() const { return capacity_; }
    // Sets the length after writing into data() directly (at most the capacity).
    void resize(std::size_t size);

private:
    void release();

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace vorn_net
