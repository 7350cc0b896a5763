#pragma once
// The desktop portals on the session bus (org.freedesktop.portal.Desktop): the user's browser opens an address
// (OpenURI), and the desktop's own file chooser picks a file (FileChooser), so that a settings page never opens a
// window of its own or reads outside what the user chose.
//
//   if (auto opened = portal_client::OpenUri::open("http://check.example/"); !opened)
//       status = fmt::format("could not open browser through the desktop portal: {}", opened.error().text());
//
//   auto files = portal_client::FileChooser::open("Choose organization CA certificate");   // blocks: call it on a worker
//
// Both calls block their thread (OpenUri briefly; FileChooser until the user has chosen), so pages make them on a
// worker. Safe from any thread: each call uses a bus connection of its own.

#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace portal_client {

// Why a portal call failed, as a sentence for the page.
struct PortalError {
    std::string message;
    [[nodiscard]] const std::string& text() const { return message; }
};

class OpenUri {
public:
    // Opens an http or https address in the user's browser through the portal; where no portal answers, through
    // xdg-open (started on its own, not waited for).
    static std::expected<void, PortalError> open(std::string_view uri);
};

// A file the user chose: its address as the portal gave it.
struct ChosenFile {
    std::string uri;  // "file:///home/alice/ca%20cert.pem"
    // The local path of a file:// address, percent-decoded; none for any other address.
    [[nodiscard]] std::optional<std::filesystem::path> local_path() const;
};

class FileChooser {
public:
    struct Options {
        // How long the chooser may stay open before the request is closed.
        std::chrono::milliseconds limit = std::chrono::minutes(15);
        // Ends the wait early (the request is closed).
        std::stop_token stop;
    };

    // Opens the chooser for one file with the title; the chosen files, or an empty list when the user cancelled.
    static std::expected<std::vector<ChosenFile>, PortalError> open(std::string_view title);
    static std::expected<std::vector<ChosenFile>, PortalError> open(std::string_view title, const Options& options);
};

}  // namespace portal_client
