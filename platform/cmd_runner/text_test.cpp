#include "cmd_runner/cmd_runner.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

namespace cmd_runner {
namespace {

const std::string fffd = "\xEF\xBF\xBD";

TEST(DecodeLossy, InvalidSequencesBecomeOneReplacementPerMaximalSubpart)
{
    struct Case {
        std::string bytes;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"plain ascii", "plain ascii"},
        {"caf\xC3\xA9 \xE2\x9C\x93 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x9C\x93 \xF0\x9F\x98\x80"},
        {std::string("nul\0inside", 10), std::string("nul\0inside", 10)},  // valid, left for clean_text
        {"\x80", fffd},                                  // lone continuation byte
        {"a\xE2\x82z", "a" + fffd + "z"},                // truncated three-byte sequence: one replacement
        {"\xF0\x9F\x98", fffd},                          // truncated at the end
        {"\xC0\xAF", fffd + fffd},                       // overlong form: neither byte can start a sequence
        {"\xED\xA0\x80", fffd + fffd + fffd},            // a surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd}, // above U+10FFFF
        {"\xFF\xFE", fffd + fffd},
        {fffd, fffd},  // a real U+FFFD stays itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(decode_lossy(c.bytes), c.text);
    }
}

TEST(CleanText, ControlCharactersAndEscapeSequencesAreRemoved)
{
    struct Case {
        std::string name;
        std::string bytes;
        CleanOptions options;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"colours", "\x1b[1;31mError\x1b[0m: failed", {}, "Error: failed"},
        {"cursor movement", "50%\x1b[2K\x1b[1G100%", {}, "50%100%"},
        {"window title with BEL", "\x1b]0;owned\x07text", {}, "text"},
        {"hyperlink with ST", "\x1b]8;;https://example.org\x1b\\link\x1b]8;;\x1b\\ end", {}, "link end"},
        {"unterminated title ends at the line", "\x1b]0;title\nnext", {.keep_newline = true}, "\nnext"},
        {"character set", "\x1b(Bplain", {}, "plain"},
        {"two-character sequence", "\x1b" "7saved\x1b" "8", {}, "saved"},
        {"lone escape at the end", "text\x1b", {}, "text"},
        {"C1 control sequence", "\xC2\x9B" "31mred", {}, "red"},
        {"C1 characters", "a\xC2\x80" "b\xC2\x85" "c\xC2\x9F" "d", {}, "abcd"},
        {"C0 and DEL", std::string("a\0b\x07" "c\x08" "d\x7f" "e\x0b" "f", 12), {}, "abcdef"},
        {"bidirectional overrides", "file\xE2\x80\xAEtxt.exe\xE2\x81\xA6x\xE2\x81\xA9", {}, "filetxt.exex"},
        {"line breaks kept", "one\r\ntwo\nthree", {.keep_newline = true}, "one\ntwo\nthree"},
        {"line breaks as spaces", "one\r\ntwo\nthree", {}, "one two three"},
        {"tabs kept", "a\tb", {.keep_tab = true}, "a\tb"},
        {"tabs as spaces", "a\tb", {}, "a b"},
        {"invalid bytes replaced, not dropped", "bad \xFF byte", {}, "bad " + fffd + " byte"},
        {"ordinary text untouched", "Wi-Fi \xE2\x80\x9CHome\xE2\x80\x9D: \xC3\xA9t\xC3\xA9 \xE2\x9C\x93", {},
         "Wi-Fi \xE2\x80\x9CHome\xE2\x80\x9D: \xC3\xA9t\xC3\xA9 \xE2\x9C\x93"},
        {"limit counts characters", "\xC3\xA9\xC3\xA9\xC3\xA9", {.max_chars = 2}, "\xC3\xA9\xC3\xA9"},
        {"removed characters do not count", "\x1b[31ma\x01" "bc", {.max_chars = 2}, "ab"},
        {"trim", "\n  Error: busy \t\n", {.trim = true}, "Error: busy"},
        {"trim after the limit", "  ab cd", {.max_chars = 3, .trim = true}, "ab"},
        {"directional marks", "\xE2\x80\x8F" "a\xE2\x80\x8E" "b\xD8\x9C" "c", {}, "abc"},
        {"byte limit: a 5000-byte SSID", std::string(5000, 'x'), {.max_bytes = 32}, std::string(32, 'x')},
        {"byte limit never cuts a character", "abc\xE2\x82\xAC", {.max_bytes = 5}, "abc"},
        {"byte limit counts U+FFFD as three", "ab\xFF", {.max_bytes = 4}, "ab"},
        {"byte limit after removal", "\x1b[1mHome\x01Net", {.max_bytes = 7, .trim = true}, "HomeNet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string cleaned = clean_text(c.bytes, c.options);
        EXPECT_EQ(cleaned, c.text);
        EXPECT_EQ(clean_text(cleaned, c.options), cleaned) << "cleaning twice changes nothing";
    }
}

TEST(FailureText, StandardErrorMadeIntoOneLineOrTheExitStatus)
{
    struct Case {
        Output output;
        std::string text;
    };
    std::vector<Case> cases;  // (pushed one by one: g++ 12 misjudges a braced list of these)
    cases.push_back({{.stderr_bytes = "\x1b[31mError:\x1b[0m Connection activation failed.\r\nSecrets were required.\n",
                      .status = {.code = 4}},
                     "Error: Connection activation failed. Secrets were required."});
    cases.push_back({{.stdout_bytes = "ignored", .stderr_bytes = " \n", .status = {.code = 2}},
                     "wpctl ended with exit status 2"});
    cases.push_back({{.status = {.signal = SIGKILL}}, "wpctl was terminated by signal 9 (SIGKILL)"});
    cases.push_back({{.status = {}}, "wpctl failed"});
    cases.push_back({{.stderr_bytes = std::string(700, 'e'), .status = {.code = 1}}, std::string(512, 'e')});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(failure_text(c.output, "wpctl"), c.text);
    }
}

}  // namespace
}  // namespace cmd_runner
