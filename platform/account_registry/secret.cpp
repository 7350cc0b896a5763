#include "account_registry/secret.hpp"

#include <sodium.h>

#include <algorithm>
#include <utility>

namespace account_registry {

SecretBytes::SecretBytes(std::size_t size)
    : data_(size == 0 ? nullptr : std::make_unique<std::uint8_t[]>(size)), size_(size)
{
}

SecretBytes::SecretBytes(std::span<const std::uint8_t> bytes) : SecretBytes(bytes.size())
{
    std::ranges::copy(bytes, data_.get());
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0))
{
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept
{
    if (this != &other) {
        wipe();
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

SecretBytes::~SecretBytes() { wipe(); }

void SecretBytes::wipe()
{
    if (data_) {
        sodium_memzero(data_.get(), size_);
        data_.reset();
    }
    size_ = 0;
}

SecretString::SecretString(std::string_view text)
    : bytes_(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
{
}

bool SecretString::equals(std::string_view other) const
{
    if (other.size() != size()) {
        return false;
    }
    return other.empty() || sodium_memcmp(bytes_.data(), other.data(), other.size()) == 0;
}

}  // namespace account_registry
