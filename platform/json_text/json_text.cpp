#include "json_text/json_text.hpp"

#include "text_utf8/text_utf8.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace json_text {
namespace {

void append_string(std::string& out, std::string_view s)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const std::size_t len = text_utf8::decode(s, i).length;
            if (len == 0) {
                out += text_utf8::replacement;  // for a byte that does not start valid UTF-8
                ++i;
            } else {
                out.append(s.substr(i, len));
                i += len;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 0x0F];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
}

void append_f64(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // Shortest round-trip digits, then laid out like the stored files have always been written.
    std::array<char, 40> buf{};
    const auto result = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::scientific);
    std::string_view sci(buf.data(), static_cast<std::size_t>(result.ptr - buf.data()));
    const bool negative = sci.front() == '-';
    if (negative) {
        sci.remove_prefix(1);
    }
    const std::size_t e_pos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, e_pos)) {
        if (c != '.') {
            digits += c;
        }
    }
    int exp10 = 0;
    std::string_view exp_text = sci.substr(e_pos + 1);
    if (!exp_text.empty() && exp_text.front() == '+') {
        exp_text.remove_prefix(1);
    }
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);

    const int length = static_cast<int>(digits.size());
    const int kk = exp10 + 1;       // the decimal point stands after kk digits
    const int k = kk - length;      // value = digits * 10^k
    if (negative) {
        out += '-';
    }
    if (k >= 0 && kk <= 16) {
        out += digits;
        out.append(static_cast<std::size_t>(k), '0');
        out += ".0";
    } else if (kk > 0 && kk <= 16) {
        out.append(digits, 0, static_cast<std::size_t>(kk));
        out += '.';
        out.append(digits, static_cast<std::size_t>(kk));
    } else if (kk > -5 && kk <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-kk), '0');
        out += digits;
    } else {
        out += digits.front();
        if (length > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'e';
        out += std::to_string(kk - 1);
    }
}

void append_scalar(std::string& out, const Json& v)
{
    switch (v.type()) {
        case Json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; break;
        case Json::value_t::number_integer: out += std::to_string(v.get<std::int64_t>()); break;
        case Json::value_t::number_unsigned: out += std::to_string(v.get<std::uint64_t>()); break;
        case Json::value_t::number_float: append_f64(out, v.get<double>()); break;
        case Json::value_t::string: append_string(out, v.get_ref<const std::string&>()); break;
        default: out += "null"; break;
    }
}

void indent(std::string& out, int level)
{
    out += '\n';
    out.append(static_cast<std::size_t>(level) * 2, ' ');
}

void print(std::string& out, const Json& v, bool pretty_form, int level)
{
    if (v.is_object()) {
        if (v.empty()) {
            out += "{}";
            return;
        }
        out += '{';
        bool first = true;
        for (const auto& [key, member] : v.items()) {
            if (!first) {
                out += ',';
            }
            first = false;
            if (pretty_form) {
                indent(out, level + 1);
            }
            append_string(out, key);
            out += pretty_form ? ": " : ":";
            print(out, member, pretty_form, level + 1);
        }
        if (pretty_form) {
            indent(out, level);
        }
        out += '}';
    } else if (v.is_array()) {
        if (v.empty()) {
            out += "[]";
            return;
        }
        out += '[';
        bool first = true;
        for (const auto& element : v) {
            if (!first) {
                out += ',';
            }
            first = false;
            if (pretty_form) {
                indent(out, level + 1);
            }
            print(out, element, pretty_form, level + 1);
        }
        if (pretty_form) {
            indent(out, level);
        }
        out += ']';
    } else {
        append_scalar(out, v);
    }
}

bool deeper_than(const Json& root, std::size_t limit)
{
    std::vector<std::pair<const Json*, std::size_t>> stack{{&root, 0}};
    while (!stack.empty()) {
        const auto [v, depth] = stack.back();
        stack.pop_back();
        if (!v->is_structured()) {
            continue;
        }
        if (depth + 1 > limit) {
            return true;
        }
        for (const auto& child : *v) {
            stack.emplace_back(&child, depth + 1);
        }
    }
    return false;
}

}  // namespace

std::string pretty(const Json& value)
{
    std::string out;
    print(out, value, true, 0);
    return out;
}

std::string compact(const Json& value)
{
    std::string out;
    print(out, value, false, 0);
    return out;
}

std::string format_f64(double value)
{
    std::string out;
    append_f64(out, value);
    return out;
}

std::expected<Json, std::string> parse(std::string_view text)
{
    Json value;
    try {
        value = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        return std::unexpected(without_exception_prefix(e.what()));
    }
    if (deeper_than(value, max_depth)) {
        return std::unexpected(std::string("nesting deeper than 128 levels"));
    }
    return value;
}

std::string without_exception_prefix(std::string_view what)
{
    // "[json.exception.parse_error.101] parse error at line 1, ..." -> "parse error at line 1, ..."
    if (what.starts_with("[json.exception.")) {
        if (const auto end = what.find("] "); end != std::string_view::npos) {
            what.remove_prefix(end + 2);
        }
    }
    return std::string(what);
}

}  // namespace json_text
