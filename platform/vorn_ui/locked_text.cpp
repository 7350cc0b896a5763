#include "vorn_ui/locked_text.hpp"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace vorn_ui {

namespace {

void ensure_sodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready) {
        std::abort();  // libsodium cannot work on this machine; no secret may be kept unprotected
    }
}

}  // namespace

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0))
{
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

SecretBytes::~SecretBytes() { release(); }

void SecretBytes::release()
{
    if (data_ != nullptr) {
        sodium_memzero(data_, capacity_);
        sodium_free(data_);  // wipes the block once more and unlocks it
    }
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

void SecretBytes::reserve(std::size_t capacity)
{
    if (capacity <= capacity_) {
        return;
    }
    ensure_sodium();
    const std::size_t grown = std::max<std::size_t>({capacity, capacity_ * 2, 64});
    auto* block = static_cast<char*>(sodium_malloc(grown));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    if (size_ > 0) {
        std::memcpy(block, data_, size_);
    }
    const std::size_t size = size_;
    release();
    data_ = block;
    size_ = size;
    capacity_ = grown;
}

void SecretBytes::replace(std::size_t pos, std::size_t count, std::string_view text)
{
    pos = std::min(pos, size_);
    count = std::min(count, size_ - pos);
    const std::size_t new_size = size_ - count + text.size();
    if (new_size == 0) {
        clear();
        return;
    }
    reserve(new_size);
    const std::size_t tail = size_ - pos - count;
    if (tail > 0) {
        std::memmove(data_ + pos + text.size(), data_ + pos + count, tail);
    }
    if (!text.empty()) {
        std::memcpy(data_ + pos, text.data(), text.size());
    }
    if (new_size < size_) {
        sodium_memzero(data_ + new_size, size_ - new_size);
    }
    size_ = new_size;
}

void SecretBytes::clear()
{
    if (data_ != nullptr) {
        sodium_memzero(data_, capacity_);
    }
    size_ = 0;
}

std::shared_ptr<LockedText> LockedText::create(std::string_view initial)
{
    return std::make_shared<LockedText>(initial);
}

void LockedText::with_text(const std::function<void(std::string_view)>& use) const
{
    std::lock_guard guard(lock_);
    use(bytes_.view());
}

SecretBytes LockedText::copy() const
{
    std::lock_guard guard(lock_);
    return SecretBytes(bytes_.view());
}

void LockedText::set(std::string_view text)
{
    std::lock_guard guard(lock_);
    if (bytes_.view() == text) {
        return;
    }
    bytes_.clear();
    bytes_.assign(text);
    ++version_;
}

void LockedText::clear()
{
    std::lock_guard guard(lock_);
    if (!bytes_.empty()) {
        bytes_.clear();
        ++version_;
    }
}

bool LockedText::empty() const
{
    std::lock_guard guard(lock_);
    return bytes_.empty();
}

std::size_t LockedText::size() const
{
    std::lock_guard guard(lock_);
    return bytes_.size();
}

std::uint64_t LockedText::version() const
{
    std::lock_guard guard(lock_);
    return version_;
}

}  // namespace vorn_ui
