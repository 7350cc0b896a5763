#pragma once
// A CUPS scheduler of the tests' own (tests only): cupsd on a free loopback port in a temporary folder, with two IPP
// Everywhere printers simulated by ippeveprinter ("office" for queues, "nearby" for discovery) and private D-Bus
// buses (ippeveprinter's DNS-SD client wants a system bus even with announcements off). Everything it starts runs in
// a process group of its own and is stopped and reaped when the object goes; the folder is removed.
//
//   if (auto missing = CupsServer::missing_program()) GTEST_SKIP() << *missing;
//   auto server = CupsServer::start();                 // once per suite: cupsd takes about a second to come up
//   ASSERT_TRUE(server) << server.error();
//   CupsPrinting printing({.server = (*server)->address()});   // or CUPS_SERVER=(*server)->address() for libcups

#include "test_buses/test_buses.hpp"

#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::testing {

// A loopback port that nobody listens on right now (the kernel's choice for a socket bound to port 0); 0 when none.
[[nodiscard]] int free_port();
// "ipp://localhost:{port}/ipp/print".
[[nodiscard]] std::string printer_uri(int port);

class CupsServer {
public:
    // Why the scheduler cannot run here (a program the tests need is missing), or none.
    [[nodiscard]] static std::optional<std::string> missing_program();
    [[nodiscard]] static std::expected<std::unique_ptr<CupsServer>, std::string> start();

    ~CupsServer();
    CupsServer(const CupsServer&) = delete;
    CupsServer& operator=(const CupsServer&) = delete;

    // "127.0.0.1:{port}": the value for CUPS_SERVER and CupsPrinting::Options::server.
    [[nodiscard]] std::string address() const;
    [[nodiscard]] const std::filesystem::path& dir() const { return dir_; }
    [[nodiscard]] std::string office_uri() const { return printer_uri(office_port_); }
    [[nodiscard]] std::string nearby_uri() const { return printer_uri(nearby_port_); }
    [[nodiscard]] std::string error_log() const;
    // How often the scheduler has said so far that it finished setting up the queue (it builds a driverless queue
    // in the background, then enables it).
    [[nodiscard]] std::size_t times_available(std::string_view queue) const;

private:
    CupsServer() = default;
    std::optional<std::string> launch();

    std::filesystem::path dir_;
    int cups_port_ = 0;
    int office_port_ = 0;
    int nearby_port_ = 0;
    std::unique_ptr<test_buses::PrivateBuses> buses_;
    std::optional<test_buses::Child> cupsd_;
    std::vector<test_buses::Child> printers_;
};

}  // namespace system_ops::testing
