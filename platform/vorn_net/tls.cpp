#include "vorn_net/tls.hpp"

#include <asio/ip/address.hpp>
#include <asio/ssl/context.hpp>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <string>

namespace vorn_net {

namespace {

std::string openssl_error()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "unknown error";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

bool is_ip_literal(std::string_view name)
{
    std::error_code error;
    (void)asio::ip::make_address(std::string(name), error);
    return !error;
}

bool is_label_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool is_dns_name(std::string_view name)
{
    if (name.ends_with('.')) {
        name.remove_suffix(1);
    }
    if (name.empty() || name.size() > 253) {
        return false;
    }
    while (true) {
        const auto dot = name.find('.');
        const std::string_view label = name.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
            return false;
        }
        for (const char c : label) {
            if (!is_label_char(c)) {
                return false;
            }
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        name.remove_prefix(dot + 1);
    }
}

}  // namespace

std::expected<TrustRoots, std::string> system_roots(const TrustOptions& options)
{
    std::shared_ptr<X509_STORE> store(X509_STORE_new(), X509_STORE_free);
    if (!store) {
        return std::unexpected("could not create a certificate store: " + openssl_error());
    }
    // Missing system files leave the store empty rather than failing: every server is then refused.
    X509_STORE_set_default_paths(store.get());
    ERR_clear_error();
    if (options.extra_ca_file && X509_STORE_load_file(store.get(), options.extra_ca_file->c_str()) != 1) {
        return std::unexpected("could not read the CA certificate " + options.extra_ca_file->string() + ": " +
                               openssl_error());
    }
    TrustRoots roots;
    roots.store_ = std::move(store);
    return roots;
}

std::expected<TlsClientConfig, std::string> client_config_with_roots(const TrustRoots& roots)
{
    if (roots.store() == nullptr) {
        return std::unexpected("no trust roots");
    }
    try {
        auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_client);
        SSL_CTX* native = context->native_handle();
        if (SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION) != 1) {
            return std::unexpected("could not set the TLS versions: " + openssl_error());
        }
        SSL_CTX_set1_cert_store(native, roots.store());
        context->set_verify_mode(asio::ssl::verify_peer);
        return TlsClientConfig{std::move(context)};
    } catch (const std::exception& error) {
        return std::unexpected(std::string(error.what()));
    }
}

bool is_valid_server_name(std::string_view name)
{
    return is_ip_literal(name) || is_dns_name(name);
}

bool verify_server_name(SSL* ssl, std::string_view name)
{
    const std::string text(name);
    if (is_ip_literal(name)) {
        return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), text.c_str()) == 1;
    }
    return SSL_set_tlsext_host_name(ssl, text.c_str()) == 1 && SSL_set1_host(ssl, text.c_str()) == 1;
}

}  // namespace vorn_net
