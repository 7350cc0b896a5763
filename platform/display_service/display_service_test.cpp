// The display service against a real X server with several outputs: Xorg with the dummy video driver
// (testing/xorg_server.hpp), started once for the suite, stopped at the end.
// What the service did is read back with xrandr.

#include "display_service/randr.hpp"
#include "display_service/service.hpp"
#include "display_service/testing/xorg_server.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

#include <stdlib.h>

namespace display_service {
namespace {

namespace hw = config_sections::hardware;
using ::testing::HasSubstr;

std::string xrandr(const std::string& display, std::vector<std::string> args)
{
    auto out = testing::xrandr(display, std::move(args));
    if (!out) {
        ADD_FAILURE() << out.error();
        return {};
    }
    return *out;
}

std::string geometry(const std::string& query, const std::string& output)
{
    return testing::output_geometry(query, output);
}

std::filesystem::path make_temp_dir(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    return ::mkdtemp(pattern.data());
}

class DisplayServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (auto missing = testing::xorg_dummy_missing()) {
            skip_reason_ = *missing;
            return;
        }
        auto server = testing::Xorg::start();
        if (!server) {
            start_error_ = server.error();
            return;
        }
        server_ = std::move(*server);
        // DUMMY1 is not connected and offers no mode until it is given some.
        for (const char* mode : {"1920x1080", "1280x720"}) {
            xrandr(server_->display(), {"--addmode", "DUMMY1", mode});
        }
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        if (!skip_reason_.empty()) {
            GTEST_SKIP() << skip_reason_;
        }
        ASSERT_TRUE(server_) << start_error_;
        runtime_ = make_temp_dir("vorn-runtime");
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        auto screen = RandrScreen::open(server_->display());
        ASSERT_TRUE(screen) << screen.error();
        screen_ = std::shared_ptr<RandrScreen>(std::move(*screen));
        auto snapshot = screen_->snapshot();
        ASSERT_TRUE(snapshot) << snapshot.error();
        snapshot_ = *snapshot;
        ASSERT_TRUE(snapshot_.find("DUMMY0") && snapshot_.find("DUMMY1"));
        ASSERT_TRUE(screen_->apply(side_by_side())) << "the starting layout";
    }
    void TearDown() override
    {
        screen_.reset();
        ::unsetenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        std::filesystem::remove_all(runtime_, ec);
    }

    [[nodiscard]] hw::OutputMode mode_of(const std::string& connector, std::uint32_t width, std::uint32_t height) const
    {
        for (const auto& mode : snapshot_.find(connector)->modes) {
            if (mode.width == width && mode.height == height) {
                return mode;
            }
        }
        ADD_FAILURE() << connector << " offers no " << width << "x" << height;
        return {};
    }

    [[nodiscard]] hw::DisplayConfig side_by_side() const
    {
        hw::DisplayConfig config;
        config.outputs["DUMMY0"] = {.enabled = true, .primary = true, .mode = mode_of("DUMMY0", 1920, 1080)};
        config.outputs["DUMMY1"] = {.enabled = true, .x = 1920, .mode = mode_of("DUMMY1", 1920, 1080)};
        return config;
    }

    [[nodiscard]] std::string query() const { return xrandr(server_->display(), {"--query"}); }

    static inline std::unique_ptr<testing::Xorg> server_;
    static inline std::string skip_reason_;
    static inline std::string start_error_;
    std::filesystem::path runtime_;
    std::shared_ptr<RandrScreen> screen_;
    hw::DisplayHardwareSnapshot snapshot_;
};

TEST_F(DisplayServiceTest, SnapshotListsTheOutputsThatCanShowSomething)
{
    // DUMMY2..DUMMY15 are neither connected nor offer a mode.
    ASSERT_EQ(snapshot_.outputs.size(), 2U);
    const auto& first = *snapshot_.find("DUMMY0");
    EXPECT_GT(first.modes.size(), 10U);
    EXPECT_FALSE(first.built_in);
    EXPECT_FALSE(first.hdr_supported);
    EXPECT_EQ(first.hdr_reason, "Not available in an X11 session");
    // DUMMY1 offers the modes it was given (the driver may add its own once it runs).
    const auto& second = *snapshot_.find("DUMMY1");
    for (const auto& size : {std::pair(1920U, 1080U), std::pair(1280U, 720U)}) {
        EXPECT_TRUE(std::ranges::any_of(second.modes, [&](const hw::OutputMode& m) {
            return m.width == size.first && m.height == size.second && m.refresh_mhz > 50'000;
        }));
    }
    for (const auto* output : {&first, &second}) {
        for (std::size_t i = 0; i < output->modes.size(); ++i) {
            const auto& mode = output->modes[i];
            EXPECT_EQ(std::ranges::count(output->modes, mode), 1) << mode.label();
            if (i > 0) {  // larger before smaller
                EXPECT_GE(std::uint64_t{output->modes[i - 1].width} * output->modes[i - 1].height,
                          std::uint64_t{mode.width} * mode.height);
            }
        }
    }
}

TEST_F(DisplayServiceTest, TwoOutputsSideBySideAndMirrored)
{
    const std::string q = query();
    EXPECT_EQ(geometry(q, "DUMMY0"), "1920x1080+0+0");
    EXPECT_EQ(geometry(q, "DUMMY1"), "1920x1080+1920+0");
    EXPECT_THAT(q, HasSubstr("current 3840 x 1080"));
    EXPECT_THAT(q, HasSubstr("DUMMY0 connected primary"));

    auto live = screen_->layout();
    ASSERT_TRUE(live);
    EXPECT_EQ(live->outputs.at("DUMMY1").x, 1920);
    EXPECT_TRUE(live->outputs.at("DUMMY0").primary);
    EXPECT_FALSE(live->outputs.at("DUMMY1").primary);

    // The second output left of the first: the layout is moved to start at (0, 0).
    hw::DisplayConfig left = side_by_side();
    left.outputs["DUMMY1"].x = -1920;
    left.outputs["DUMMY1"].primary = true;
    left.outputs["DUMMY0"].primary = false;
    ASSERT_TRUE(screen_->apply(left));
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1920x1080+0+0");
    EXPECT_EQ(geometry(query(), "DUMMY0"), "1920x1080+1920+0");
    EXPECT_THAT(query(), ::testing::ContainsRegex("DUMMY1 (dis)?connected primary"));

    // Mirroring at a mode of another size: the mirror takes the target's size.
    hw::DisplayConfig mirrored = side_by_side();
    mirrored.outputs["DUMMY0"].mode = mode_of("DUMMY0", 1280, 720);
    mirrored.outputs["DUMMY1"].mirror = "DUMMY0";
    ASSERT_TRUE(screen_->apply(mirrored));
    EXPECT_EQ(geometry(query(), "DUMMY0"), "1280x720+0+0");
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1280x720+0+0");
    live = screen_->layout();
    ASSERT_TRUE(live);
    EXPECT_EQ(live->outputs.at("DUMMY1").mirror, "DUMMY0");

    // One output off: the screen shrinks to the other.
    hw::DisplayConfig single = side_by_side();
    single.outputs["DUMMY1"].enabled = false;
    ASSERT_TRUE(screen_->apply(single));
    EXPECT_EQ(geometry(query(), "DUMMY1"), "");
    EXPECT_THAT(query(), HasSubstr("current 1920 x 1080"));
}

TEST_F(DisplayServiceTest, RefusesWhatRandrCannotDo)
{
    struct Case {
        const char* what;
        std::function<void(hw::DisplayConfig&)> edit;
        const char* reason;
    };
    const Case cases[] = {
        {"rotation", [](hw::DisplayConfig& c) { c.outputs["DUMMY1"].transform = 1; },
         "DUMMY1 cannot be rotated by this X server"},
        {"scale", [](hw::DisplayConfig& c) { c.outputs["DUMMY1"].scale = 1.5; },
         "DUMMY1 cannot be scaled to 150% in an X11 session"},
        {"too large", [](hw::DisplayConfig& c) { c.outputs["DUMMY1"].x = 40000; }, "this X server allows at most"},
        {"unknown output", [](hw::DisplayConfig& c) { c.outputs["HDMI-9"] = {}; }, "HDMI-9 is not connected"},
    };
    for (const auto& c : cases) {
        hw::DisplayConfig config = side_by_side();
        c.edit(config);
        const auto applied = screen_->apply(config);
        ASSERT_FALSE(applied) << c.what;
        EXPECT_THAT(applied.error(), HasSubstr(c.reason)) << c.what;
        EXPECT_EQ(geometry(query(), "DUMMY1"), "1920x1080+1920+0") << c.what << ": nothing changed";
    }
}

// Unix milliseconds the test moves.
struct TestClock {
    std::shared_ptr<std::atomic<std::uint64_t>> now = std::make_shared<std::atomic<std::uint64_t>>(1'000'000);
    [[nodiscard]] std::function<std::uint64_t()> function() const
    {
        return [now = now] { return now->load(); };
    }
};

TEST_F(DisplayServiceTest, TransactionAppliedKeptAndRevertedAtItsDeadline)
{
    TestClock clock;
    TransactionService service(screen_, {.safety = std::chrono::seconds(15), .clock = clock.function()});
    ASSERT_TRUE(service.publish());
    EXPECT_EQ(hw::DisplayConfig::load().outputs.at("DUMMY1").x, 1920);

    // A mode change, applied and kept.
    hw::DisplayConfig smaller;
    smaller.outputs["DUMMY1"] = side_by_side().outputs["DUMMY1"];
    smaller.outputs["DUMMY1"].mode = mode_of("DUMMY1", 1280, 720);
    auto tx = hw::DisplayTransaction::request(smaller);
    ASSERT_TRUE(tx) << tx.error();
    EXPECT_TRUE(service.step());
    auto seen = hw::DisplayTransaction::load();
    ASSERT_TRUE(seen);
    ASSERT_EQ(seen->state, 1) << seen->message.value_or("");
    EXPECT_EQ(seen->confirm_deadline_unix_ms, 1'000'000 + 15'000);
    ASSERT_TRUE(seen->previous);
    EXPECT_EQ(seen->previous->outputs.at("DUMMY1").mode, mode_of("DUMMY1", 1920, 1080));
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1280x720+1920+0");
    EXPECT_EQ(hw::DisplayConfig::load().outputs.at("DUMMY1").mode, mode_of("DUMMY1", 1280, 720));

    ASSERT_TRUE(tx->request_confirmation());
    EXPECT_FALSE(service.step());
    EXPECT_EQ(hw::DisplayTransaction::load()->state, 4);
    clock.now->fetch_add(60'000);
    EXPECT_FALSE(service.step());
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1280x720+1920+0") << "a kept layout stays";

    // Back to 1920 × 1080, not kept: at the deadline the previous layout returns.
    hw::DisplayConfig larger = smaller;
    larger.outputs["DUMMY1"].mode = mode_of("DUMMY1", 1920, 1080);
    ASSERT_TRUE(hw::DisplayTransaction::request(larger));
    EXPECT_TRUE(service.step());
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1920x1080+1920+0");
    clock.now->fetch_add(14'999);
    EXPECT_TRUE(service.step());
    EXPECT_EQ(hw::DisplayTransaction::load()->state, 1);
    clock.now->fetch_add(1);
    EXPECT_FALSE(service.step());
    seen = hw::DisplayTransaction::load();
    EXPECT_EQ(seen->state, 5);
    EXPECT_THAT(seen->message.value_or(""), HasSubstr("not kept in time"));
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1280x720+1920+0");
    EXPECT_EQ(hw::DisplayConfig::load().outputs.at("DUMMY1").mode, mode_of("DUMMY1", 1280, 720));

    // Reverted by the user before the deadline.
    ASSERT_TRUE(hw::DisplayTransaction::request(larger));
    EXPECT_TRUE(service.step());
    ASSERT_TRUE(hw::DisplayTransaction::load()->request_revert());
    EXPECT_FALSE(service.step());
    EXPECT_EQ(hw::DisplayTransaction::load()->state, 5);
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1280x720+1920+0");
}

TEST_F(DisplayServiceTest, TransactionRejectedWithTheReason)
{
    TestClock clock;
    TransactionService service(screen_, {.clock = clock.function()});
    const struct {
        std::function<void(hw::DisplayConfig&)> edit;
        const char* message;
    } cases[] = {
        {[](hw::DisplayConfig& c) { c.outputs["DUMMY1"].transform = 3; },
         "The display layout was refused: DUMMY1 cannot be rotated by this X server."},
        {[](hw::DisplayConfig& c) { c.outputs["DUMMY1"].mode = hw::OutputMode{1024, 768, 1}; },
         "The display layout was refused: 1024 × 768 · 0 Hz is not a mode of DUMMY1."},
        {[](hw::DisplayConfig& c) { c.outputs["DUMMY1"].hdr = true; },
         "The display layout was refused: DUMMY1 does not support HDR."},
        {[](hw::DisplayConfig& c) {
             c.outputs["DUMMY0"].enabled = false;
             c.outputs["DUMMY0"].primary = false;
         },
         "The display layout was refused: one display must be primary."},
    };
    for (const auto& c : cases) {
        hw::DisplayConfig config = side_by_side();
        c.edit(config);
        ASSERT_TRUE(hw::DisplayTransaction::request(config));
        EXPECT_FALSE(service.step());
        const auto seen = hw::DisplayTransaction::load();
        EXPECT_EQ(seen->state, 6);
        EXPECT_EQ(seen->message, c.message);
        EXPECT_EQ(geometry(query(), "DUMMY1"), "1920x1080+1920+0");
    }
}

TEST_F(DisplayServiceTest, ProgramServesOneTransactionAndEnds)
{
    // The build puts every program into one folder.
    const std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "vorn-display-service").string();
    ASSERT_TRUE(std::filesystem::exists(program)) << program;

    // Wayland sessions and sessions without X are not ours to configure.
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_EQ(ensure_display_service({.program = program}).error(),
              "the session's Wayland compositor manages the displays");
    ::unsetenv("WAYLAND_DISPLAY");
    const std::string saved_display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    ::unsetenv("DISPLAY");
    EXPECT_EQ(ensure_display_service({.program = program}).error(), "there is no X display to configure");
    ::setenv("DISPLAY", server_->display().c_str(), 1);

    hw::DisplayConfig smaller;
    smaller.outputs["DUMMY1"] = side_by_side().outputs["DUMMY1"];
    smaller.outputs["DUMMY1"].mode = mode_of("DUMMY1", 1280, 720);
    ASSERT_TRUE(hw::DisplayTransaction::request(smaller));

    EXPECT_FALSE(display_service_running());
    auto started = ensure_display_service({.program = program, .args = {"--safety-ms", "400", "--linger-ms", "200"}});
    ASSERT_TRUE(started) << started.error();
    EXPECT_TRUE(*started);

    const auto wait_for = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    };
    // Applied, then restored at its deadline by the service alone; then it ends.
    EXPECT_TRUE(wait_for([] {
        const auto tx = hw::DisplayTransaction::load();
        return tx && tx->state == 5;
    })) << hw::DisplayTransaction::load()->message.value_or("");
    EXPECT_EQ(geometry(query(), "DUMMY1"), "1920x1080+1920+0");
    EXPECT_TRUE(std::filesystem::exists(*hw::display_snapshot_path()));
    EXPECT_TRUE(wait_for([] { return !display_service_running(); }));

    if (saved_display.empty()) {
        ::unsetenv("DISPLAY");
    } else {
        ::setenv("DISPLAY", saved_display.c_str(), 1);
    }
}

}  // namespace
}  // namespace display_service
