#include "vorn_model_gateway/secret_text.hpp"

#include <sodium.h>

#include <cstring>
#include <utility>

namespace vorn_model_gateway {

SecretText::SecretText(std::size_t size) : data_(size == 0 ? nullptr : new char[size]()), size_(size) {}

SecretText SecretText::copy_of(std::string_view text)
{
    SecretText secret(text.size());
    if (!text.empty()) {
        std::memcpy(secret.data(), text.data(), text.size());
    }
    return secret;
}

SecretText::SecretText(SecretText&& other) noexcept
    : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0))
{
}

SecretText& SecretText::operator=(SecretText&& other) noexcept
{
    if (this != &other) {
        clear();
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

SecretText::~SecretText() { clear(); }

void SecretText::clear()
{
    if (data_) {
        sodium_memzero(data_.get(), size_);
    }
    data_.reset();
    size_ = 0;
}

}  // namespace vorn_model_gateway
