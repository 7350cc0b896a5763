#pragma once
// Memory for typed secrets and the shared buffers that text inputs type into.
//
// SecretBytes: a growable byte store in locked memory (sodium_malloc: kept out of swap, guard pages around it).
// Every byte it gives up is wiped with sodium_memzero: when it grows into a new block, when it is cleared or
// assigned, and when it is destroyed. Move-only.
//
// LockedText: one text shared between a page and the text input bound to it (std::shared_ptr<LockedText>), behind
// its own lock, stored in SecretBytes. The text input writes what the user types into it; the page reads a copy
// when it needs the text (with_text, or copy() into a SecretBytes) and wipes it after use (clear()). The buffer
// counts its changes (version()), so a text input notices when the page wiped or replaced the text.
//
//   auto password = vorn_ui::LockedText::create();
//   auto field = vorn_ui::TextInput("settings.network.password.home")
//                    .with_kind(vorn_ui::text_input_kind::password)
//                    .with_external_buffer(password);
//   ...
//   password->with_text([&](std::string_view secret) { join(ssid, secret); });
//   password->clear();
//
// Any thread; each call takes the lock once. Never copy a secret into a std::string that outlives its use.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

namespace vorn_ui {

class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(std::string_view text) { assign(text); }
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes();

    [[nodiscard]] std::string_view view() const { return {data_, size_}; }
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }

    // Replaces the bytes [pos, pos + count) with `text` (pos and count clamped to the content).
    void replace(std::size_t pos, std::size_t count, std::string_view text);
    void assign(std::string_view text) { replace(0, size_, text); }
    // Wipes the content (the block is kept for the next text).
    void clear();

private:
    void reserve(std::size_t capacity);
    void release();

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

class LockedText {
public:
    [[nodiscard]] static std::shared_ptr<LockedText> create(std::string_view initial = {});

    LockedText() = default;
    explicit LockedText(std::string_view initial) : bytes_(initial) {}
    LockedText(const LockedText&) = delete;
    LockedText& operator=(const LockedText&) = delete;

    // Calls `use` with the text, under the lock (do not call back into this buffer from `use`).
    void with_text(const std::function<void(std::string_view)>& use) const;
    // A copy in locked memory.
    [[nodiscard]] SecretBytes copy() const;
    // Replaces the text (the old one is wiped); a change of the version.
    void set(std::string_view text);
    // Wipes the text; a change of the version when it was not empty.
    void clear();
    [[nodiscard]] bool empty() const;
    [[nodiscard]] std::size_t size() const;
    // Grows with every change.
    [[nodiscard]] std::uint64_t version() const;

private:
    mutable std::mutex lock_;
    SecretBytes bytes_;
    std::uint64_t version_ = 0;
};

using SharedLockedText = std::shared_ptr<LockedText>;

}  // namespace vorn_ui
