// The libcups side of CupsPrinting: one connection per call, IPP requests, attribute reading.

#include "system_ops/printing.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <cups/cups.h>
#include <cups/ipp.h>

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <future>
#include <map>
#include <system_error>

namespace system_ops::printing {

namespace {

struct HttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpClose>;

struct IppDelete {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// The settings never ask for a password on a terminal: a request that needs one fails with the scheduler's
// answer ("Unauthorized", "Forbidden").
const char* no_password(const char* /*prompt*/, http_t* /*http*/, const char* /*method*/, const char* /*resource*/,
                        void* /*data*/)
{
    return nullptr;
}

std::string text(const char* value)
{
    return value == nullptr ? std::string() : cmd_runner::clean_text(value, {.max_chars = 512, .trim = true});
}

std::string last_error()
{
    const char* message = cupsLastErrorString();
    std::string out = text(message);
    return out.empty() ? fmt::format("IPP status {:#06x}", static_cast<int>(cupsLastError())) : out;
}

// Why httpConnect2 failed: libcups notes it as the last error ("Name or service not known").
std::string connect_error()
{
    std::string out = text(cupsLastErrorString());
    return out.empty() ? std::string("no connection") : out;
}

bool request_ok()
{
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

Result<Http> connect(const CupsPrinting::Options& options)
{
    cupsSetPasswordCB2(no_password, nullptr);  // per thread
    std::string host;
    int port = 0;
    if (options.server.empty()) {
        host = cupsServer();
        port = ippPort();
    } else if (options.server.starts_with('/')) {
        host = options.server;
    } else {
        host = options.server;
        port = ippPort();
        const auto colon = host.rfind(':');
        if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
            try {
                port = std::stoi(host.substr(colon + 1));
            } catch (const std::exception&) {
                return std::unexpected(fmt::format("invalid printing server address {}", host));
            }
            host.erase(colon);
        }
    }
    const int timeout_ms = static_cast<int>(options.time_limit.count());
    int cancel = 0;
    http_t* http = httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), 1, timeout_ms, &cancel);
    if (http == nullptr) {
        return std::unexpected(fmt::format("the printing service is not reachable ({})", connect_error()));
    }
    httpSetTimeout(http, static_cast<double>(options.time_limit.count()) / 1000.0, nullptr, nullptr);
    return Http(http);
}

std::string printer_uri(std::string_view queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                     std::string(queue).c_str());
    return uri;
}

void add_user(ipp_t* request)
{
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
}

// Sends the request (taking it over) and answers the response, or the scheduler's error text. The requesting user
// is added at the end unless the request names it already (a request with more than operation attributes must).
Result<Ipp> send(http_t* http, ipp_t* request, const char* resource)
{
    if (ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME) == nullptr) {
        add_user(request);
    }
    Ipp response(cupsDoRequest(http, request, resource));
    if (!request_ok()) {
        return std::unexpected(last_error());
    }
    return response;
}

void add_requested(ipp_t* request, std::initializer_list<const char*> names)
{
    const std::vector<const char*> list(names);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", static_cast<int>(list.size()),
                  nullptr, list.data());
}

std::vector<std::string> strings(ipp_attribute_t* attr)
{
    std::vector<std::string> out;
    for (int i = 0; i < ippGetCount(attr); ++i) {
        out.push_back(text(ippGetString(attr, i, nullptr)));
    }
    return out;
}

std::optional<std::uint32_t> non_negative(ipp_attribute_t* attr)
{
    const int value = ippGetInteger(attr, 0);
    if (value < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// Walks the attribute groups of one tag, calling `begin` at each and `each` for its attributes.
template <class Begin, class Each, class End>
void for_each_group(ipp_t* response, ipp_tag_t group, Begin begin, Each each, End end)
{
    ipp_attribute_t* attr = ippFirstAttribute(response);
    while (attr != nullptr) {
        while (attr != nullptr && ippGetGroupTag(attr) != group) {
            attr = ippNextAttribute(response);
        }
        if (attr == nullptr) {
            break;
        }
        begin();
        for (; attr != nullptr && ippGetGroupTag(attr) == group; attr = ippNextAttribute(response)) {
            if (const char* name = ippGetName(attr); name != nullptr) {
                each(std::string_view(name), attr);
            }
        }
        end();
    }
}

Result<std::optional<std::string>> default_queue(http_t* http)
{
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
    add_requested(request, {"printer-name"});
    auto response = send(http, request, "/");
    if (!response) {
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
            return std::optional<std::string>{};
        }
        return std::unexpected(response.error());
    }
    ipp_attribute_t* name = ippFindAttribute(response->get(), "printer-name", IPP_TAG_NAME);
    if (name == nullptr) {
        return std::optional<std::string>{};
    }
    return std::optional<std::string>(text(ippGetString(name, 0, nullptr)));
}

Result<std::vector<PrintJob>> get_jobs(http_t* http, const char* which)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, which);
    add_requested(request, {"job-id", "job-name", "job-originating-user-name", "job-printer-uri", "job-state",
                            "job-state-reasons", "job-printer-state-message", "job-impressions-completed",
                            "job-impressions", "job-k-octets"});
    auto response = send(http, request, "/");
    if (!response) {
        return std::unexpected(response.error());
    }
    std::vector<PrintJob> found;
    PrintJob job;
    std::string message;
    std::vector<std::string> reasons;
    for_each_group(
        response->get(), IPP_TAG_JOB,
        [&] {
            job = {};
            message.clear();
            reasons.clear();
        },
        [&](std::string_view name, ipp_attribute_t* attr) {
            if (name == "job-id") {
                job.id = std::to_string(ippGetInteger(attr, 0));
            } else if (name == "job-name") {
                job.title = text(ippGetString(attr, 0, nullptr));
            } else if (name == "job-originating-user-name") {
                job.owner = text(ippGetString(attr, 0, nullptr));
            } else if (name == "job-printer-uri") {
                const std::string uri = text(ippGetString(attr, 0, nullptr));
                job.printer = uri.substr(uri.rfind('/') + 1);
            } else if (name == "job-state") {
                const int state = ippGetInteger(attr, 0);
                if (state >= IPP_JSTATE_PENDING && state <= IPP_JSTATE_COMPLETED) {
                    job.state = static_cast<JobState>(state - IPP_JSTATE_PENDING);
                }
            } else if (name == "job-state-reasons") {
                reasons = strings(attr);
            } else if (name == "job-printer-state-message") {
                message = text(ippGetString(attr, 0, nullptr));
            } else if (name == "job-impressions-completed") {
                job.impressions_completed = non_negative(attr);
            } else if (name == "job-impressions") {
                job.impressions_total = non_negative(attr);
            } else if (name == "job-k-octets") {
                job.size = static_cast<std::uint64_t>(non_negative(attr).value_or(0)) * 1024;
            }
        },
        [&] {
            if (message.empty()) {
                for (const auto& reason : reasons) {
                    if (reason != "none" && reason != "job-printing" && reason != "job-incoming") {
                        message = reason;
                        break;
                    }
                }
            }
            job.state_detail = message;
            if (!job.id.empty()) {
                found.push_back(std::move(job));
            }
        });
    return found;
}

Status admin(const CupsPrinting::Options& options, ipp_op_t op, std::string_view queue, const char* resource)
{
    if (!is_queue_name(queue)) {
        return std::unexpected(fmt::format("\"{}\" is not a printer queue name", cmd_runner::clean_text(queue)));
    }
    auto http = connect(options);
    if (!http) {
        return std::unexpected(http.error());
    }
    ipp_t* request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer_uri(queue).c_str());
    const auto response = send(http->get(), request, resource);
    if (!response) {
        return std::unexpected(response.error());
    }
    return {};
}

Status job_operation(const CupsPrinting::Options& options, ipp_op_t op, std::string_view id)
{
    if (!is_job_id(id)) {
        return std::unexpected(fmt::format("\"{}\" is not a print job number", cmd_runner::clean_text(id)));
    }
    auto http = connect(options);
    if (!http) {
        return std::unexpected(http.error());
    }
    ipp_t* request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr,
                 fmt::format("ipp://localhost/jobs/{}", id).c_str());
    const auto response = send(http->get(), request, "/jobs/");
    if (!response) {
        return std::unexpected(response.error());
    }
    return {};
}

std::vector<PrinterSupply> supplies_from_markers(const std::vector<std::string>& names, const std::vector<int>& levels)
{
    std::vector<PrinterSupply> supplies;
    for (std::size_t i = 0; i < names.size(); ++i) {
        PrinterSupply supply{.name = names[i]};
        // Negative levels mean "unknown" or "some left".
        if (i < levels.size() && levels[i] >= 0 && levels[i] <= 100) {
            supply.level = static_cast<std::uint8_t>(levels[i]);
        }
        supplies.push_back(std::move(supply));
    }
    return supplies;
}

std::vector<int> integers(ipp_attribute_t* attr)
{
    std::vector<int> out;
    for (int i = 0; i < ippGetCount(attr); ++i) {
        out.push_back(ippGetInteger(attr, i));
    }
    return out;
}

// A queue as the scheduler lists it, with the address of its device.
struct ListedQueue {
    PrintQueue queue;
    std::string device_uri;
};

Result<std::vector<ListedQueue>> list_queues(const CupsPrinting::Options& options)
{
    auto http = connect(options);
    if (!http) {
        return std::unexpected(http.error());
    }
    const auto default_name = default_queue(http->get());
    if (!default_name) {
        return std::unexpected(default_name.error());
    }

    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    add_requested(request, {"printer-name", "printer-state", "printer-state-reasons", "printer-state-message",
                            "printer-is-accepting-jobs", "marker-names", "marker-levels", "device-uri"});
    auto response = send(http->get(), request, "/");
    if (!response) {
        // The scheduler answers "not found" when no printer has been added.
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
            return std::vector<ListedQueue>{};
        }
        return std::unexpected(response.error());
    }

    std::vector<ListedQueue> found;
    ListedQueue entry;
    int state = IPP_PSTATE_IDLE;
    std::vector<std::string> marker_names;
    std::vector<int> marker_levels;
    for_each_group(
        response->get(), IPP_TAG_PRINTER,
        [&] {
            entry = {};
            state = IPP_PSTATE_IDLE;
            marker_names.clear();
            marker_levels.clear();
        },
        [&](std::string_view name, ipp_attribute_t* attr) {
            PrintQueue& queue = entry.queue;
            if (name == "printer-name") {
                queue.name = text(ippGetString(attr, 0, nullptr));
            } else if (name == "printer-state") {
                state = ippGetInteger(attr, 0);
            } else if (name == "printer-state-reasons") {
                for (auto& reason : strings(attr)) {
                    if (!reason.empty() && reason != "none") {
                        queue.state_reasons.push_back(std::move(reason));
                    }
                }
            } else if (name == "printer-state-message") {
                if (auto message = text(ippGetString(attr, 0, nullptr)); !message.empty()) {
                    queue.state_message = std::move(message);
                }
            } else if (name == "printer-is-accepting-jobs") {
                queue.accepting_jobs = ippGetBoolean(attr, 0) != 0;
            } else if (name == "marker-names") {
                marker_names = strings(attr);
            } else if (name == "marker-levels") {
                marker_levels = integers(attr);
            } else if (name == "device-uri") {
                if (const char* uri = ippGetString(attr, 0, nullptr); uri != nullptr) {
                    entry.device_uri = uri;
                }
            }
        },
        [&] {
            PrintQueue& queue = entry.queue;
            if (queue.name.empty()) {
                return;
            }
            queue.state = queue_state(state, queue.state_reasons);
            if (!marker_names.empty()) {
                queue.supplies = supplies_from_markers(marker_names, marker_levels);
            }
            queue.is_default = *default_name && **default_name == queue.name;
            found.push_back(std::move(entry));
        });
    return found;
}

// What a printer answered when asked directly.
struct DeviceAnswer {
    std::optional<std::vector<PrinterSupply>> supplies;  // none when it reports no supply levels
    std::vector<std::string> document_formats;
};

// The text of one value of a string or octetString attribute.
std::string raw_string(ipp_attribute_t* attr, int element)
{
    if (ippGetValueTag(attr) == IPP_TAG_STRING) {
        int length = 0;
        const void* data = ippGetOctetString(attr, element, &length);
        return data == nullptr || length <= 0 ? std::string()
                                              : std::string(static_cast<const char*>(data), static_cast<std::size_t>(length));
    }
    const char* value = ippGetString(attr, element, nullptr);
    return value == nullptr ? std::string() : std::string(value);
}

// Asks the printer at `uri` (an IPP address) for its supply levels and the formats it prints.
Result<DeviceAnswer> query_device(const std::string& uri, std::chrono::milliseconds limit)
{
    char scheme[32];
    char userpass[256];
    char host[256];
    char resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass, sizeof userpass, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        return std::unexpected("not an IPP printer address");
    }
    const http_encryption_t encryption =
        std::string_view(scheme) == "ipps" ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED;
    int cancel = 0;
    http_t* raw = httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, 1, static_cast<int>(limit.count()), &cancel);
    if (raw == nullptr) {
        return std::unexpected(connect_error());
    }
    const Http http(raw);
    httpSetTimeout(raw, static_cast<double>(limit.count()) / 1000.0, nullptr, nullptr);
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    add_requested(request, {"printer-supply", "printer-supply-description", "marker-names", "marker-levels",
                            "document-format-supported"});
    auto response = send(raw, request, resource);
    if (!response) {
        return std::unexpected(response.error());
    }
    DeviceAnswer answer;
    std::vector<std::string> supplies;
    std::vector<std::string> descriptions;
    std::vector<std::string> marker_names;
    std::vector<int> marker_levels;
    for (ipp_attribute_t* attr = ippFirstAttribute(response->get()); attr != nullptr;
         attr = ippNextAttribute(response->get())) {
        const char* name = ippGetName(attr);
        const std::string_view key = name == nullptr ? std::string_view() : std::string_view(name);
        if (key == "printer-supply") {
            for (int i = 0; i < ippGetCount(attr); ++i) {
                supplies.push_back(raw_string(attr, i));
            }
        } else if (key == "printer-supply-description") {
            descriptions = strings(attr);
        } else if (key == "marker-names") {
            marker_names = strings(attr);
        } else if (key == "marker-levels") {
            marker_levels = integers(attr);
        } else if (key == "document-format-supported") {
            answer.document_formats = strings(attr);
        }
    }
    if (!supplies.empty()) {
        answer.supplies = parse_supplies(supplies, descriptions);
    } else if (!marker_names.empty()) {
        answer.supplies = supplies_from_markers(marker_names, marker_levels);
    }
    return answer;
}

// The names of the scheduler's printers and classes (they share one name space).
Result<std::vector<std::string>> taken_names(http_t* http)
{
    std::vector<std::string> names;
    for (const ipp_op_t op : {IPP_OP_CUPS_GET_PRINTERS, IPP_OP_CUPS_GET_CLASSES}) {
        ipp_t* request = ippNewRequest(op);
        add_requested(request, {"printer-name"});
        auto response = send(http, request, "/");
        if (!response) {
            if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
                continue;
            }
            return std::unexpected(response.error());
        }
        for (ipp_attribute_t* attr = ippFindAttribute(response->get(), "printer-name", IPP_TAG_NAME); attr != nullptr;
             attr = ippFindNextAttribute(response->get(), "printer-name", IPP_TAG_NAME)) {
            if (const char* name = ippGetString(attr, 0, nullptr); name != nullptr) {
                names.emplace_back(name);
            }
        }
    }
    return names;
}

}  // namespace

CupsPrinting::CupsPrinting(Options options) : options_(std::move(options)) {}

Result<std::vector<PrintQueue>> CupsPrinting::queues()
{
    auto listed = list_queues(options_);
    if (!listed) {
        return std::unexpected(listed.error());
    }
    std::vector<PrintQueue> out;
    out.reserve(listed->size());
    for (auto& entry : *listed) {
        out.push_back(std::move(entry.queue));
    }
    return out;
}

Result<std::vector<PrintQueue>> CupsPrinting::queues_with_live_details()
{
    auto listed = list_queues(options_);
    if (!listed) {
        return std::unexpected(listed.error());
    }
    // A few printers are asked at a time, so that printers that do not answer cost one time limit per batch.
    constexpr std::size_t batch_size = 8;
    const auto limit = options_.live_time_limit;
    std::vector<PrintQueue> out;
    out.reserve(listed->size());
    for (std::size_t first = 0; first < listed->size(); first += batch_size) {
        const std::size_t end = std::min(listed->size(), first + batch_size);
        std::vector<std::future<Result<DeviceAnswer>>> answers;
        for (std::size_t i = first; i < end; ++i) {
            const std::string uri = (*listed)[i].device_uri;
            if (!is_driverless_uri(uri)) {
                answers.emplace_back();  // not an IPP printer: nothing to ask
                continue;
            }
            try {
                answers.push_back(std::async(std::launch::async, [uri, limit] { return query_device(uri, limit); }));
            } catch (const std::system_error&) {
                std::promise<Result<DeviceAnswer>> inline_answer;
                inline_answer.set_value(query_device(uri, limit));
                answers.push_back(inline_answer.get_future());
            }
        }
        for (std::size_t i = first; i < end; ++i) {
            PrintQueue queue = std::move((*listed)[i].queue);
            if (auto& answer = answers[i - first]; answer.valid()) {
                if (auto device = answer.get()) {
                    queue.live_details = true;
                    queue.supplies = std::move(device->supplies);
                }
            }
            out.push_back(std::move(queue));
        }
    }
    return out;
}

Result<std::vector<PrintJob>> CupsPrinting::jobs()
{
    auto http = connect(options_);
    if (!http) {
        return std::unexpected(http.error());
    }
    auto open = get_jobs(http->get(), "not-completed");
    if (!open) {
        return std::unexpected(open.error());
    }
    auto finished = get_jobs(http->get(), "completed");
    if (!finished) {
        return std::unexpected(finished.error());
    }
    std::erase_if(*finished, [](const PrintJob& job) {
        return job.state != JobState::Canceled && job.state != JobState::Failed;
    });
    std::ranges::sort(*finished, std::greater<>{}, [](const PrintJob& job) { return std::stoull(job.id); });
    if (finished->size() > options_.recent_finished_jobs) {
        finished->resize(options_.recent_finished_jobs);
    }
    open->insert(open->end(), std::make_move_iterator(finished->begin()), std::make_move_iterator(finished->end()));
    return open;
}

Status CupsPrinting::set_default(std::string_view queue)
{
    return admin(options_, IPP_OP_CUPS_SET_DEFAULT, queue, "/admin/");
}

Status CupsPrinting::set_enabled(std::string_view queue, bool enabled)
{
    return admin(options_, enabled ? IPP_OP_RESUME_PRINTER : IPP_OP_PAUSE_PRINTER, queue, "/admin/");
}

Status CupsPrinting::remove_queue(std::string_view queue)
{
    return admin(options_, IPP_OP_CUPS_DELETE_PRINTER, queue, "/admin/");
}

Status CupsPrinting::cancel_job(std::string_view id)
{
    return job_operation(options_, IPP_OP_CANCEL_JOB, id);
}

Status CupsPrinting::retry_job(std::string_view id)
{
    return job_operation(options_, IPP_OP_RESTART_JOB, id);
}

Result<std::string> CupsPrinting::add_driverless(std::string_view uri, std::string_view name)
{
    if (!is_driverless_uri(uri)) {
        return std::unexpected(fmt::format("\"{}\" is not the address of an IPP printer",
                                           cmd_runner::clean_text(uri, {.max_chars = 200})));
    }
    const std::string address(uri);
    const std::string title = cmd_runner::clean_text(name, {.max_bytes = 256, .trim = true});
    // The scheduler accepts any address and builds the driverless setup later, in the background: a printer that
    // does not answer would leave a queue that cannot print. Ask the printer first.
    const auto device = query_device(address, options_.live_time_limit);
    if (!device) {
        return std::unexpected(fmt::format("the printer does not answer ({})", device.error()));
    }
    constexpr std::array<std::string_view, 3> driverless_formats = {"image/pwg-raster", "image/urf", "application/pdf"};
    if (std::ranges::none_of(device->document_formats, [&](const std::string& format) {
            return std::ranges::find(driverless_formats, format) != driverless_formats.end();
        })) {
        return std::unexpected("the printer cannot print without a driver");
    }

    auto http = connect(options_);
    if (!http) {
        return std::unexpected(http.error());
    }
    const auto taken = taken_names(http->get());
    if (!taken) {
        return std::unexpected(taken.error());
    }
    std::string queue = unused_queue_name(title, *taken);
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer_uri(queue).c_str());
    add_user(request);
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, address.c_str());
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_NAME, "ppd-name", nullptr, "everywhere");
    if (!title.empty()) {
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, title.c_str());
    }
    ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    const auto response = send(http->get(), request, "/admin/");
    if (!response) {
        return std::unexpected(response.error());
    }
    return queue;
}

// ---- Reading answers -------------------------------------------------------------------------------------------

QueueState queue_state(int printer_state, const std::vector<std::string>& reasons)
{
    if (printer_state == IPP_PSTATE_STOPPED) {
        return QueueState::Paused;
    }
    if (std::ranges::any_of(reasons, [](const std::string& reason) { return reason.starts_with("offline"); })) {
        return QueueState::Offline;
    }
    return printer_state == IPP_PSTATE_PROCESSING ? QueueState::Printing : QueueState::Ready;
}

std::vector<PrinterSupply> parse_supplies(const std::vector<std::string>& supplies,
                                          const std::vector<std::string>& descriptions)
{
    std::vector<PrinterSupply> out;
    for (std::size_t i = 0; i < supplies.size(); ++i) {
        // "index=1;class=supplyThatIsConsumed;type=toner;unit=percent;maxcapacity=100;level=75;colorantname=black;"
        std::map<std::string, std::string, std::less<>> fields;
        std::string_view rest = supplies[i];
        while (!rest.empty()) {
            const auto end = rest.find(';');
            const std::string_view field = rest.substr(0, end);
            if (const auto eq = field.find('='); eq != std::string_view::npos) {
                fields.emplace(std::string(field.substr(0, eq)), std::string(field.substr(eq + 1)));
            }
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
        PrinterSupply supply;
        if (i < descriptions.size() && !descriptions[i].empty()) {
            supply.name = cmd_runner::clean_text(descriptions[i], {.max_bytes = 256, .trim = true});
        } else {
            // No description: "black toner" from the colorant and the type.
            std::string name;
            if (const auto colour = fields.find("colorantname"); colour != fields.end() && colour->second != "unknown") {
                name = colour->second + " ";
            }
            if (const auto type = fields.find("type"); type != fields.end()) {
                name += type->second;
            }
            supply.name = cmd_runner::clean_text(name.empty() ? std::string("supply") : name,
                                                 {.max_bytes = 256, .trim = true});
        }
        // IPP integers: 32 bits; anything larger is not a level.
        const auto number = [&](std::string_view key) -> std::optional<std::int32_t> {
            const auto it = fields.find(key);
            if (it == fields.end()) {
                return std::nullopt;
            }
            std::int32_t value = 0;
            const auto* first = it->second.data();
            const auto* last = first + it->second.size();
            const auto [ptr, ec] = std::from_chars(first, last, value);
            if (ec != std::errc() || ptr != last) {
                return std::nullopt;
            }
            return value;
        };
        const auto level = number("level");
        const auto capacity = number("maxcapacity");
        if (level && *level >= 0) {
            // Without a usable capacity the level is taken as a percentage already.
            const std::int64_t max = capacity && *capacity > 0 ? *capacity : 100;
            supply.level = static_cast<std::uint8_t>(std::min<std::int64_t>(100, std::int64_t{*level} * 100 / max));
        }
        out.push_back(std::move(supply));
    }
    return out;
}

bool is_driverless_uri(std::string_view uri)
{
    if (uri.empty() || uri.size() >= HTTP_MAX_URI ||
        std::ranges::any_of(uri, [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; })) {
        return false;
    }
    char scheme[32];
    char userpass[256];
    char host[256];
    char resource[HTTP_MAX_URI];
    int port = 0;
    const std::string text(uri);
    if (httpSeparateURI(HTTP_URI_CODING_ALL, text.c_str(), scheme, sizeof scheme, userpass, sizeof userpass, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        return false;
    }
    const std::string_view kind(scheme);
    return (kind == "ipp" || kind == "ipps") && host[0] != '\0' && port > 0;
}

}  // namespace system_ops::printing
