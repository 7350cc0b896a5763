#include "vorn_net/http.hpp"

#include "vorn_net/curl_global.hpp"
#include "vorn_net/secure_buffer.hpp"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <sodium.h>

#include <memory>
#include <utility>

namespace vorn_net::http {

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// What the callbacks of one transfer share with send().
struct Transfer {
    const ClientSettings* settings = nullptr;
    const TrustRoots* roots = nullptr;
    const std::stop_token* stop = nullptr;
    std::string body;
    bool too_large = false;
};

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (bytes > transfer.settings->max_body_bytes - transfer.body.size()) {
        transfer.too_large = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    transfer.body.append(data, bytes);
    return bytes;
}

int on_progress(void* user, curl_off_t /*dltotal*/, curl_off_t /*dlnow*/, curl_off_t /*ultotal*/, curl_off_t /*ulnow*/)
{
    const auto& transfer = *static_cast<Transfer*>(user);
    return transfer.stop->stop_requested() ? 1 : 0;
}

// The connection trusts exactly the client's roots (the system's, plus a test's CA).
CURLcode on_ssl_context(CURL* /*easy*/, void* ssl_context, void* user)
{
    const auto& transfer = *static_cast<Transfer*>(user);
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(ssl_context), transfer.roots->store());
    return CURLE_OK;
}

// "Authorization: Basic base64(user:password)", built in locked memory.
SecureBuffer authorization_header(const BasicAuth& auth)
{
    SecureBuffer plain(auth.user.size() + 1 + auth.password.size());
    plain.append(auth.user).append(':').append(auth.password);
    const std::size_t encoded_size = sodium_base64_ENCODED_LEN(plain.size(), sodium_base64_VARIANT_ORIGINAL);
    SecureBuffer encoded(encoded_size);
    sodium_bin2base64(encoded.data(), encoded_size, reinterpret_cast<const unsigned char*>(plain.view().data()),
                      plain.size(), sodium_base64_VARIANT_ORIGINAL);
    encoded.resize(encoded_size - 1);  // without the terminating NUL
    constexpr std::string_view prefix = "Authorization: Basic ";
    SecureBuffer header(prefix.size() + encoded.size());
    header.append(prefix).append(encoded.view());
    return header;
}

}  // namespace

std::expected<Response, Error> Client::send(const Request& request) const
{
    const auto fail = [](std::string text) { return std::unexpected(Error{ErrorKind::Transport, std::move(text)}); };
    if (!detail::ensure_curl()) {
        return fail("could not initialise the HTTP library");
    }
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        return fail("could not initialise the HTTP library");
    }
    CURL* handle = easy.get();
    const std::string url(request.url);
    const std::string method(request.method);
    char error_text[CURL_ERROR_SIZE] = {};

    Transfer transfer;
    transfer.settings = &settings_;
    transfer.roots = &roots_;
    transfer.stop = &request.stop;

    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, settings_.follow_redirects ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // HTTP/1.1 only: some servers break HTTP/2 streams that they answer before reading the request body.
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, on_ssl_context);
    curl_easy_setopt(handle, CURLOPT_SSL_CTX_DATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(settings_.timeout.count()));
    if (settings_.connect_timeout) {
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings_.connect_timeout->count()));
    }
    if (settings_.user_agent) {
        curl_easy_setopt(handle, CURLOPT_USERAGENT, settings_.user_agent->c_str());
    }
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!request.body.empty()) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    }
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error_text);

    std::unique_ptr<curl_slist, ListDeleter> headers;
    const auto add_header = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (grown != nullptr) {
            (void)headers.release();
            headers.reset(grown);
        }
        return grown != nullptr;
    };
    bool headers_ok = add_header("Expect:");  // no 100-continue round trip
    for (const auto& header : request.headers) {
        headers_ok = headers_ok && add_header(header.name + ": " + header.value);
    }
    if (!headers_ok) {
        return fail("could not build the request headers");
    }
    // The Authorization header is a list node of our own that points into locked memory: curl_slist_append would
    // copy it into ordinary heap. It is unlinked again before the list is freed.
    SecureBuffer authorization;
    curl_slist authorization_node{};
    curl_slist* last = headers.get();
    while (last->next != nullptr) {
        last = last->next;
    }
    if (request.basic_auth) {
        authorization = authorization_header(*request.basic_auth);
        authorization_node.data = authorization.data();
        last->next = &authorization_node;
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());

    const CURLcode code = curl_easy_perform(handle);
    last->next = nullptr;

    if (code != CURLE_OK) {
        if (code == CURLE_ABORTED_BY_CALLBACK && request.stop.stop_requested()) {
            return std::unexpected(Error{ErrorKind::Cancelled, "request cancelled"});
        }
        if (code == CURLE_WRITE_ERROR && transfer.too_large) {
            return std::unexpected(Error{ErrorKind::TooLarge, "response body exceeds the size limit"});
        }
        std::string text = curl_easy_strerror(code);
        if (error_text[0] != '\0') {
            text += ": ";
            text += error_text;
        }
        return fail(std::move(text));
    }
    Response response;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(transfer.body);
    return response;
}

ClientBuilder ClientBuilder::timeout(std::chrono::milliseconds limit) &&
{
    settings_.timeout = limit;
    return std::move(*this);
}

ClientBuilder ClientBuilder::connect_timeout(std::chrono::milliseconds limit) &&
{
    settings_.connect_timeout = limit;
    return std::move(*this);
}

ClientBuilder ClientBuilder::user_agent(std::string agent) &&
{
    settings_.user_agent = std::move(agent);
    return std::move(*this);
}

ClientBuilder ClientBuilder::no_redirects() &&
{
    settings_.follow_redirects = false;
    return std::move(*this);
}

ClientBuilder ClientBuilder::max_body_bytes(std::size_t bytes) &&
{
    settings_.max_body_bytes = bytes;
    return std::move(*this);
}

ClientBuilder ClientBuilder::trust(TrustOptions options) &&
{
    settings_.trust = std::move(options);
    return std::move(*this);
}

std::expected<Client, std::string> ClientBuilder::build() &&
{
    if (!detail::ensure_curl()) {
        return std::unexpected("could not initialise the HTTP library");
    }
    auto roots = system_roots(settings_.trust);
    if (!roots) {
        return std::unexpected(std::move(roots.error()));
    }
    return Client(std::move(settings_), std::move(*roots));
}

ClientBuilder blocking_client() { return ClientBuilder{}; }

}  // namespace vorn_net::http
