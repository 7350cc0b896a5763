// The tool side of CupsPrinting: driverless printers advertised over DNS-SD (ippfind) and SANE's scanners
// (scanimage), and the queue name chosen for a printer that is added.

#include "system_ops/printing.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <map>

namespace system_ops::printing {

namespace {

using namespace std::chrono_literals;

constexpr char field_separator = '\x1f';
constexpr char record_end = '\x1e';

// The records of a tool's output: split at record ends, each split at field separators. Records with another number
// of fields are dropped; the text after the last record end is an unfinished record (the tool was stopped) and dropped
// too.
std::vector<std::vector<std::string_view>> records(std::string_view text, std::size_t fields)
{
    std::vector<std::vector<std::string_view>> out;
    while (true) {
        const auto end = text.find(record_end);
        if (end == std::string_view::npos) {
            break;
        }
        std::string_view record = text.substr(0, end);
        text.remove_prefix(end + 1);
        std::vector<std::string_view> parts;
        while (true) {
            const auto sep = record.find(field_separator);
            parts.push_back(record.substr(0, sep));
            if (sep == std::string_view::npos) {
                break;
            }
            record.remove_prefix(sep + 1);
        }
        if (parts.size() == fields) {
            out.push_back(std::move(parts));
        }
    }
    return out;
}

std::string name_text(std::string_view raw)
{
    return cmd_runner::clean_text(raw, {.max_bytes = 256, .trim = true});
}

char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

bool name_before(std::string_view a, std::string_view b)
{
    const auto lowered = [](char c) { return ascii_lower(c); };
    const bool less = std::ranges::lexicographical_compare(a, b, {}, lowered, lowered);
    const bool greater = std::ranges::lexicographical_compare(b, a, {}, lowered, lowered);
    return less || (!greater && a < b);
}

// The tool's error as a sentence: its standard error without the "tool: " prefix it puts before each message.
std::string tool_failure(const cmd_runner::Output& output, std::string_view program)
{
    std::string text = cmd_runner::failure_text(output, program);
    if (const std::string prefix = fmt::format("{}: ", program); text.starts_with(prefix)) {
        text.erase(0, prefix.size());
    }
    return text;
}

}  // namespace

Result<std::vector<DriverlessPrinter>> CupsPrinting::discover_driverless()
{
    const auto seconds = std::max<std::chrono::seconds::rep>(1, options_.discovery_time.count());
    // Printers that accept a driverless format (IPP Everywhere's PWG raster, AirPrint's URF, PDF); each one found is
    // printed as one record by printf, which ippfind starts with the service's values as single arguments.
    const std::string format = fmt::format("%s{0}%s{0}%s{1}", field_separator, record_end);
    cmd_runner::Command command{
        .program = "ippfind",
        .args = {"-T", std::to_string(seconds), "_ipps._tcp", "_ipp._tcp", "(", "--txt-pdl", "image/pwg-raster", "--or",
                 "--txt-pdl", "image/urf", "--or", "--txt-pdl", "application/pdf", ")", "-x", "/usr/bin/printf",
                 format, "{service_uri}", "{service_name}", "{txt_ty}", ";"},
        .env = {{"LC_ALL", "C"}},
        .time_limit = std::chrono::seconds(seconds) + 10s};
    const auto out = options_.runner->run(command);
    if (!out) {
        if (out.error().kind == cmd_runner::ErrorKind::NotFound) {
            return std::unexpected("printer discovery needs ippfind (package cups-ipp-utils), which is not installed");
        }
        return std::unexpected(fmt::format("could not search for printers: {}", out.error().message));
    }
    // ippfind ends with 1 when it found nothing that matched.
    const bool nothing_found = out->status.code == 1 && cmd_runner::clean_text(out->stderr_bytes, {.trim = true}).empty();
    if (!out->status.success() && !nothing_found) {
        return std::unexpected(fmt::format("could not search for printers: {}", tool_failure(*out, "ippfind")));
    }
    return parse_ippfind_output(out->stdout_bytes);
}

Result<std::vector<ScannerEntry>> CupsPrinting::scanners()
{
    const std::string format = fmt::format("%d{0}%v{0}%m{0}%t{1}", field_separator, record_end);
    const auto out = options_.runner->run({.program = "scanimage",
                                           .args = {"-f", format},
                                           .env = {{"LC_ALL", "C"}},
                                           .time_limit = options_.scanner_time_limit});
    if (!out) {
        if (out.error().kind == cmd_runner::ErrorKind::NotFound) {
            return std::unexpected("scanner support (SANE's scanimage) is not installed");
        }
        return std::unexpected(out.error().message);
    }
    if (!out->status.success()) {
        return std::unexpected(tool_failure(*out, "scanimage"));
    }
    return parse_scanner_list(out->stdout_bytes);
}

std::vector<DriverlessPrinter> parse_ippfind_output(std::string_view text)
{
    std::vector<DriverlessPrinter> found;
    for (const auto& fields : records(text, 3)) {
        const std::string_view uri = fields[0];
        if (!is_driverless_uri(uri)) {
            continue;
        }
        DriverlessPrinter printer{.id = std::string(uri), .name = name_text(fields[1])};
        if (printer.name.empty()) {
            printer.name = printer.id;
        }
        // ippfind leaves a key the service does not advertise as it stands.
        if (std::string detail = name_text(fields[2]); !detail.empty() && detail != "{txt_ty}") {
            printer.detail = std::move(detail);
        }
        const auto same = std::ranges::find(found, printer.name, &DriverlessPrinter::name);
        if (same == found.end()) {
            found.push_back(std::move(printer));
        } else if (printer.id.starts_with("ipps:") && !same->id.starts_with("ipps:")) {
            *same = std::move(printer);  // the encrypted address of the same printer
        }
    }
    // Names are unique here, so the order is total.
    std::ranges::sort(found, [](const DriverlessPrinter& a, const DriverlessPrinter& b) {
        return name_before(a.name, b.name);
    });
    return found;
}

std::vector<ScannerEntry> parse_scanner_list(std::string_view text)
{
    std::vector<ScannerEntry> found;
    for (const auto& fields : records(text, 4)) {
        ScannerEntry scanner{.device = name_text(fields[0])};
        if (scanner.device.empty() || std::ranges::find(found, scanner.device, &ScannerEntry::device) != found.end()) {
            continue;
        }
        // As `scanimage -L` shows it: "device `test:0' is a Noname frontend-tester virtual device".
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (const std::string part = name_text(fields[i]); !part.empty()) {
                scanner.description += (scanner.description.empty() ? "" : " ") + part;
            }
        }
        if (scanner.description.empty()) {
            scanner.description = scanner.device;
        }
        found.push_back(std::move(scanner));
    }
    return found;
}

std::string unused_queue_name(std::string_view name, const std::vector<std::string>& taken)
{
    constexpr std::size_t max_length = 100;
    std::string base;
    bool gap = false;
    for (const char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_';
        if (!keep) {
            gap = true;
            continue;
        }
        if (base.size() + (gap && !base.empty() ? 2 : 1) > max_length) {
            break;
        }
        if (gap && !base.empty()) {
            base += '_';
        }
        gap = false;
        base += c;
    }
    if (base.empty()) {
        base = "Printer";
    }
    const auto is_taken = [&](std::string_view candidate) {
        return std::ranges::any_of(taken, [&](const std::string& other) { return same_name(other, candidate); });
    };
    std::string candidate = base;
    for (unsigned n = 2; is_taken(candidate); ++n) {
        candidate = fmt::format("{}-{}", base, n);
    }
    return candidate;
}

}  // namespace system_ops::printing
