#include "vorn_actions/context.hpp"

#include <algorithm>
#include <cctype>

namespace vorn_actions {

ActionContext ActionContext::enriched_by(const ActionContext& defaults) const
{
    ActionContext merged = *this;
    if (merged.label.empty()) {
        merged.label = defaults.label;
    }
    for (const std::string& entry : defaults.related) {
        if (std::ranges::find(merged.related, entry) == merged.related.end()) {
            merged.related.push_back(entry);
        }
    }
    if (!merged.application) {
        merged.application = defaults.application;
    }
    if (!merged.subject) {
        merged.subject = defaults.subject;
    }
    if (!merged.correlation_id) {
        merged.correlation_id = defaults.correlation_id;
    }
    if (!merged.document) {
        merged.document = defaults.document;
    }
    return merged;
}

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_lower_or_digit(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
bool is_separator(char c) { return c == '_' || c == '-' || c == '.' || c == ':' || c == ' ' || c == '\t'; }

std::vector<std::string> split_words(std::string_view identifier)
{
    std::vector<std::string> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    };
    for (std::size_t i = 0; i < identifier.size(); ++i) {
        const char c = identifier[i];
        if (is_separator(c)) {
            flush();
            continue;
        }
        if (is_upper(c) && !word.empty()) {
            const char previous = word.back();
            const bool next_is_lower = i + 1 < identifier.size() && identifier[i + 1] >= 'a' && identifier[i + 1] <= 'z';
            // "setSetting": a capital after a lower-case letter starts a word; "HDRMode": the last capital of a
            // run starts a word when a lower-case letter follows it.
            if (is_lower_or_digit(previous) || (is_upper(previous) && next_is_lower)) {
                flush();
            }
        }
        word += c;
    }
    flush();
    return words;
}

bool is_abbreviation(const std::string& word)
{
    return word.size() > 1 && std::ranges::all_of(word, [](char c) { return is_upper(c) || (c >= '0' && c <= '9'); });
}

}  // namespace

std::string humanize_identifier(std::string_view identifier)
{
    std::string label;
    const std::vector<std::string> words = split_words(identifier);
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        if (!is_abbreviation(word)) {
            std::ranges::transform(word, word.begin(),
                                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
            if (i == 0) {
                word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
            }
        }
        if (!label.empty()) {
            label += ' ';
        }
        label += word;
    }
    return label;
}

}  // namespace vorn_actions
