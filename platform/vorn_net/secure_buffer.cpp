#include "vorn_net/secure_buffer.hpp"

#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace vorn_net {

namespace {

void ensure_sodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready) {
        std::abort();  // libsodium cannot work on this machine; no credential may travel unprotected
    }
}

}  // namespace

SecureBuffer::SecureBuffer(std::size_t capacity) : capacity_(capacity)
{
    ensure_sodium();
    data_ = static_cast<char*>(sodium_malloc(capacity + 1));
    if (data_ == nullptr) {
        std::abort();
    }
    data_[0] = '\0';
}

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0))
{
}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

SecureBuffer::~SecureBuffer() { release(); }

void SecureBuffer::release()
{
    if (data_ != nullptr) {
        sodium_free(data_);  // wipes the whole block before releasing it
        data_ = nullptr;
    }
    size_ = 0;
    capacity_ = 0;
}

SecureBuffer SecureBuffer::copy_of(std::string_view text)
{
    SecureBuffer buffer(text.size());
    buffer.append(text);
    return buffer;
}

SecureBuffer& SecureBuffer::append(std::string_view text)
{
    if (text.size() > capacity_ - size_) {
        std::abort();
    }
    if (!text.empty()) {
        std::memcpy(data_ + size_, text.data(), text.size());
        size_ += text.size();
        data_[size_] = '\0';
    }
    return *this;
}

const char* SecureBuffer::c_str() const { return data_ != nullptr ? data_ : ""; }

void SecureBuffer::resize(std::size_t size)
{
    if (size > capacity_) {
        std::abort();
    }
    size_ = size;
    data_[size_] = '\0';
}

}  // namespace vorn_net
