// The libcups side of CupsPrinting: one connection per call, IPP requests, attribute reading.

#include "system_ops/printing.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <cups/cups.h>
#include <cups/ipp.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
        const int error = errno;
        return std::unexpected(fmt::format("the printing service is not reachable ({})",
                                           error != 0 ? std::strerror(error) : "no connection"));
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

// Sends the request (taking it over) and answers the response, or the scheduler's error text.
Result<Ipp> send(http_t* http, ipp_t* request, const char* resource)
{
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
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

}  // namespace

CupsPrinting::CupsPrinting(Options options) : options_(std::move(options)) {}

Result<std::vector<PrintQueue>> CupsPrinting::queues()
{
    auto http = connect(options_);
    if (!http) {
        return std::unexpected(http.error());
    }
    const auto default_name = default_queue(http->get());
    if (!default_name) {
        return std::unexpected(default_name.error());
    }

    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    add_requested(request, {"printer-name", "printer-state", "printer-state-reasons", "printer-state-message",
                            "printer-is-accepting-jobs", "marker-names", "marker-levels"});
    auto response = send(http->get(), request, "/");
    if (!response) {
        // The scheduler answers "not found" when no printer has been added.
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
            return std::vector<PrintQueue>{};
        }
        return std::unexpected(response.error());
    }

    std::vector<PrintQueue> found;
    PrintQueue queue;
    int state = IPP_PSTATE_IDLE;
    std::vector<std::string> marker_names;
    std::vector<int> marker_levels;
    for_each_group(
        response->get(), IPP_TAG_PRINTER,
        [&] {
            queue = {};
            state = IPP_PSTATE_IDLE;
            marker_names.clear();
            marker_levels.clear();
        },
        [&](std::string_view name, ipp_attribute_t* attr) {
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
                for (int i = 0; i < ippGetCount(attr); ++i) {
                    marker_levels.push_back(ippGetInteger(attr, i));
                }
            }
        },
        [&] {
            if (queue.name.empty()) {
                return;
            }
            const bool offline = std::ranges::any_of(queue.state_reasons, [](const std::string& reason) {
                return reason.starts_with("offline");
            });
            if (state == IPP_PSTATE_STOPPED) {
                queue.state = QueueState::Paused;
            } else if (offline) {
                queue.state = QueueState::Offline;
            } else if (state == IPP_PSTATE_PROCESSING) {
                queue.state = QueueState::Printing;
            } else {
                queue.state = QueueState::Ready;
            }
            if (!marker_names.empty()) {
                std::vector<PrinterSupply> supplies;
                for (std::size_t i = 0; i < marker_names.size(); ++i) {
                    PrinterSupply supply{.name = marker_names[i]};
                    // Negative levels mean "unknown" or "some left".
                    if (i < marker_levels.size() && marker_levels[i] >= 0 && marker_levels[i] <= 100) {
                        supply.level = static_cast<std::uint8_t>(marker_levels[i]);
                    }
                    supplies.push_back(std::move(supply));
                }
                queue.supplies = std::move(supplies);
            }
            queue.is_default = *default_name && **default_name == queue.name;
            found.push_back(std::move(queue));
        });
    return found;
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

}  // namespace system_ops::printing
