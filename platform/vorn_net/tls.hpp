#pragma once
// The certificates a TLS client trusts and the client settings built on them.
//
// system_roots() loads the machine's trust store (Debian's bundle /etc/ssl/certs/ca-certificates.crt and the
// hashed certificate folder). A program never changes it; a test that runs its own server on loopback names the CA
// it made as one more trusted certificate instead:
//
//   auto roots = vorn_net::system_roots({.extra_ca_file = temp / "ca.crt"});
//   auto tls = vorn_net::client_config_with_roots(*roots);       // TLS 1.2 or newer, the peer verified
//   asio::ssl::stream<asio::ip::tcp::socket> stream(std::move(socket), *tls->context);
//
// The peer's name is checked per connection (verify_server_name). Both values are immutable once built and may be
// shared between threads.

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct x509_store_st;
struct ssl_st;

namespace asio::ssl {
class context;
}

namespace vorn_net {

struct TrustOptions {
    // One more CA certificate (PEM) trusted beside the system's roots.
    std::optional<std::filesystem::path> extra_ca_file;

    bool operator==(const TrustOptions&) const = default;
};

class TrustRoots {
public:
    // The OpenSSL certificate store (X509_STORE); shared, never changed after loading.
    [[nodiscard]] x509_store_st* store() const { return store_.get(); }

private:
    friend std::expected<TrustRoots, std::string> system_roots(const TrustOptions& options);
    std::shared_ptr<x509_store_st> store_;
};

// The system's trust roots, plus the extra CA when one is named. Fails only when the extra CA cannot be read.
[[nodiscard]] std::expected<TrustRoots, std::string> system_roots(const TrustOptions& options = {});

struct TlsClientConfig {
    std::shared_ptr<asio::ssl::context> context;
};

// TLS client settings that trust `roots`, refuse protocol versions older than TLS 1.2 and verify the peer.
[[nodiscard]] std::expected<TlsClientConfig, std::string> client_config_with_roots(const TrustRoots& roots);

// Whether `name` can name a TLS server: an IP address literal, or a DNS name (ASCII labels of letters, digits,
// "-" and "_", 1 to 63 bytes each, not starting or ending with "-", at most 253 bytes, an optional final dot).
[[nodiscard]] bool is_valid_server_name(std::string_view name);

// Makes a client connection check the server's certificate against `name` (the DNS name or the IP address), and
// sends the name as SNI when it is a DNS name. False when OpenSSL refuses the name.
[[nodiscard]] bool verify_server_name(ssl_st* ssl, std::string_view name);

}  // namespace vorn_net
