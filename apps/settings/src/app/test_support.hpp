#pragma once
// Helpers of the application tests: a private home (HOME and the XDG data, config, state and cache folders) for
// the test's life, finders over the widget tree, and frames of a headless window until something shows.

#include "page_workers/worker_threads.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widget.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <unistd.h>

namespace settings::app::testing {

// Page workers read the environment (every command they start gets a copy of it), and setenv() while another
// thread reads it is undefined behaviour: the home joins every worker before it changes the environment, on the way
// in (workers an earlier application left) and on the way out (the test's own). Declare it before the application
// so that the application is gone when it restores the environment.
class PrivateHome {
public:
    PrivateHome()
    {
        page_workers::join_all();
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-settings-app-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            if (const char* old = std::getenv(name)) {
                saved_.emplace_back(name, std::string(old));
            } else {
                saved_.emplace_back(name, std::nullopt);
            }
        }
        ::setenv("HOME", dir_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
    }
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;
    ~PrivateHome()
    {
        page_workers::join_all();
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    [[nodiscard]] const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The first widget (depth first, the widget before its children) for which `match` holds.
inline const vorn_ui::Widget* find_widget(const vorn_ui::Widget& root,
                                          const std::function<bool(const vorn_ui::Widget&)>& match)
{
    if (match(root)) {
        return &root;
    }
    const vorn_ui::Widget* found = nullptr;
    root.for_each_child([&](const vorn_ui::Widget& child) {
        if (found == nullptr) {
            found = find_widget(child, match);
        }
    });
    return found;
}

// Frames until `done` holds or a few seconds pass (pages read the machine on workers); whether it came to hold.
template <class Done>
bool frames_until(vorn_ui::HeadlessWindow& window, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        window.frame();
    }
    return true;
}

}  // namespace settings::app::testing
