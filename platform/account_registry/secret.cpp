#include "account_registry/secret.hpp"

#include <sodium.h>

#include <algorithm>
#include <new>
#include <utility>

namespace account_registry {

SecretBytes::SecretBytes(std::size_t size) : size_(size)
{
    if (size == 0) {
        return;
    }
    // sodium_malloc needs the library's page size, which sodium_init() sets (once; later calls return at once).
    if (sodium_init() < 0) {
        throw std::bad_alloc();
    }
    data_ = static_cast<std::uint8_t*>(sodium_malloc(size));
    if (data_ == nullptr) {
        throw std::bad_alloc();
    }
    sodium_memzero(data_, size);
}

SecretBytes::SecretBytes(std::span<const std::uint8_t> bytes) : SecretBytes(bytes.size())
{
    std::ranges::copy(bytes, data_);
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept
{
    if (this != &other) {
        wipe();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

SecretBytes::~SecretBytes() { wipe(); }

void SecretBytes::wipe()
{
    if (data_ != nullptr) {
        sodium_free(data_);  // zeroes the block before it is released
        data_ = nullptr;
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
