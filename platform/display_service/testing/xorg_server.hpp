#pragma once
// Xorg with the dummy video driver for tests that need a real X server with several outputs (16, DUMMY0 connected):
// started on a display it picks itself (-displayfd) with a configuration of its own in a temporary folder, stopped
// when the object goes. Needs the packages xserver-xorg-core, xserver-xorg-video-dummy and x11-xserver-utils.
//
//   if (auto missing = display_service::testing::xorg_dummy_missing()) GTEST_SKIP() << *missing;
//   auto server = display_service::testing::Xorg::start();      // the display is server->display(): ":7"
//   display_service::testing::xrandr(server->display(), {"--addmode", "DUMMY1", "1280x720"});

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace display_service::testing {

// What is missing to run Xorg with the dummy driver here; none when everything is.
[[nodiscard]] std::optional<std::string> xorg_dummy_missing();

class Xorg {
public:
    [[nodiscard]] static std::expected<std::unique_ptr<Xorg>, std::string> start();
    ~Xorg();
    Xorg(const Xorg&) = delete;
    Xorg& operator=(const Xorg&) = delete;

    [[nodiscard]] const std::string& display() const { return display_; }

private:
    Xorg() = default;
    std::filesystem::path dir_;
    pid_t pid_ = 0;
    std::string display_;
};

// xrandr --display <display> <args...>: its standard output, or what went wrong.
[[nodiscard]] std::expected<std::string, std::string> xrandr(const std::string& display, std::vector<std::string> args);

// In xrandr's query, the geometry of an output: "DUMMY1 connected 1280x720+1920+0 ..." gives "1280x720+1920+0"; an
// output that is off gives "", one the query does not name "absent".
[[nodiscard]] std::string output_geometry(const std::string& query, const std::string& output);

}  // namespace display_service::testing
