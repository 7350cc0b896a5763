#include "system_ops/secret_text.hpp"

#include <sodium.h>

namespace system_ops {

SecretText::SecretText(SecretText&& other) noexcept : text_(other.text_)
{
    other.wipe();
}

SecretText& SecretText::operator=(const SecretText& other)
{
    if (this != &other) {
        wipe();
        text_ = other.text_;
    }
    return *this;
}

SecretText& SecretText::operator=(SecretText&& other) noexcept
{
    if (this != &other) {
        wipe();
        text_ = other.text_;
        other.wipe();
    }
    return *this;
}

void SecretText::wipe()
{
    // The whole capacity: an earlier, longer text may have left bytes beyond the current size.
    text_.resize(text_.capacity());
    sodium_memzero(text_.data(), text_.size());
    text_.clear();
}

}  // namespace system_ops
