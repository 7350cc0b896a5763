// Making command output safe to show: lenient UTF-8 decoding and removal of control characters and terminal
// escape sequences.

#include "cmd_runner/cmd_runner.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>

namespace cmd_runner {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD

void append_utf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes the next code point of `bytes` at `pos` and advances `pos`. An invalid sequence gives U+FFFD and
// advances past its maximal subpart (the longest prefix that could have begun a valid sequence), as Unicode
// recommends and as most decoders do.
char32_t next_code_point(std::string_view bytes, std::size_t& pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;   // no overlong forms
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        ++pos;
        return 0xFFFD;
    }
    std::size_t i = pos + 1;
    for (std::size_t k = 1; k < length; ++k, ++i) {
        const std::uint8_t lo = k == 1 ? low : 0x80;
        const std::uint8_t hi = k == 1 ? high : 0xBF;
        if (i >= bytes.size() || byte(i) < lo || byte(i) > hi) {
            pos = i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    pos = i;
    return cp;
}

bool is_bidi_control(char32_t cp)
{
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E || cp == 0x200F ||
           cp == 0x061C;
}

bool is_white(char32_t cp)
{
    return cp == ' ' || cp == '\t' || cp == '\n';
}

// Removes the escape sequences and control characters while decoding, writing UTF-8 straight out.
class Cleaner {
public:
    Cleaner(std::string_view bytes, const CleanOptions& options) : bytes_(bytes), options_(options) {}

    std::string clean()
    {
        out_.reserve(std::min(bytes_.size(), options_.max_chars == std::string_view::npos
                                                 ? bytes_.size()
                                                 : options_.max_chars * 4));
        while (pos_ < bytes_.size() && !full()) {
            const char32_t cp = take();
            if (cp == 0x1B) {
                skip_escape();
            } else if (cp == 0x9B) {
                skip_csi();  // the one-character CSI; the other C1 string openers go alone, swallowing nothing
            } else if (cp == '\n') {
                emit(options_.keep_newline ? U'\n' : U' ');
            } else if (cp == '\t') {
                emit(options_.keep_tab ? U'\t' : U' ');
            } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || is_bidi_control(cp)) {
                // dropped
            } else {
                emit(cp);
            }
        }
        if (options_.trim) {
            while (!out_.empty() && is_white(static_cast<unsigned char>(out_.back()))) {
                out_.pop_back();
            }
        }
        return std::move(out_);
    }

private:
    bool full() const
    {
        return bytes_full_ || (options_.max_chars != std::string_view::npos && count_ >= options_.max_chars);
    }

    void emit(char32_t cp)
    {
        if (options_.trim && out_.empty() && is_white(cp)) {
            return;  // leading white space does not count towards the limit
        }
        if (options_.max_bytes != std::string_view::npos) {
            std::string piece;
            append_utf8(piece, cp);
            if (out_.size() + piece.size() > options_.max_bytes) {
                bytes_full_ = true;
                return;
            }
            out_ += piece;
        } else {
            append_utf8(out_, cp);
        }
        ++count_;
    }

    char32_t take() { return next_code_point(bytes_, pos_); }

    // The next code point, if it lies in [lo, hi]; then it is consumed.
    bool take_if(char32_t lo, char32_t hi)
    {
        std::size_t next = pos_;
        if (pos_ >= bytes_.size()) {
            return false;
        }
        const char32_t cp = next_code_point(bytes_, next);
        if (cp < lo || cp > hi) {
            return false;
        }
        pos_ = next;
        return true;
    }

    // After ESC.
    void skip_escape()
    {
        if (take_if('[', '[')) {
            skip_csi();
        } else if (take_if(']', ']') || take_if('P', 'P') || take_if('X', 'X') || take_if('^', '^') ||
                   take_if('_', '_')) {
            skip_string();
        } else if (take_if(0x20, 0x2F)) {
            // Intermediate bytes, then one final byte: "ESC ( B" (character set), "ESC # 8", ...
            while (take_if(0x20, 0x2F)) {
            }
            take_if(0x30, 0x7E);
        } else {
            take_if(0x30, 0x7E);  // a two-character sequence: "ESC 7", "ESC c", "ESC =", ...
        }
        // Anything else: only the ESC goes.
    }

    // Control sequence: parameter bytes, intermediate bytes, one final byte ("ESC [ 1 ; 31 m").
    void skip_csi()
    {
        while (take_if(0x30, 0x3F)) {
        }
        while (take_if(0x20, 0x2F)) {
        }
        take_if(0x40, 0x7E);
    }

    // Command strings (window titles, hyperlinks, device control): up to BEL or the string terminator (ESC \ or
    // U+009C). A line feed, CAN or SUB also ends one, so that an unterminated title cannot swallow the message.
    void skip_string()
    {
        while (pos_ < bytes_.size()) {
            if (take_if('\n', '\n')) {
                --pos_;  // the line feed stays
                return;
            }
            const char32_t cp = take();
            if (cp == 0x07 || cp == 0x9C || cp == 0x18 || cp == 0x1A) {
                return;
            }
            if (cp == 0x1B) {
                take_if('\\', '\\');
                return;
            }
        }
    }

    std::string_view bytes_;
    const CleanOptions& options_;
    std::size_t pos_ = 0;
    std::string out_;
    std::size_t count_ = 0;
    bool bytes_full_ = false;
};

}  // namespace

std::string decode_lossy(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        const char32_t cp = next_code_point(bytes, pos);
        if (cp == 0xFFFD) {
            out.append(replacement);  // an invalid sequence, or U+FFFD itself
        } else {
            out.append(bytes.substr(start, pos - start));
        }
    }
    return out;
}

std::string clean_text(std::string_view bytes, const CleanOptions& options)
{
    return Cleaner(bytes, options).clean();
}

std::string failure_text(const Output& output, std::string_view program)
{
    std::string detail = clean_text(output.stderr_bytes, CleanOptions{.max_chars = 512, .trim = true});
    if (!detail.empty()) {
        return detail;
    }
    if (output.status.code) {
        return fmt::format("{} ended with exit status {}", program, *output.status.code);
    }
    if (output.status.signal != 0) {
        return fmt::format("{} was {}", program, output.status.describe());
    }
    return fmt::format("{} failed", program);
}

}  // namespace cmd_runner
