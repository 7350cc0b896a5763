#include "config_sections/display_config.hpp"
#include "config_sections/display_hardware.hpp"

#include "json_text/json_text.hpp"
#include "json_text/record.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace config_sections::hardware {
namespace {

using ::testing::HasSubstr;

// A private runtime folder ($XDG_RUNTIME_DIR) for the life of the fixture.
class RuntimeDir : public ::testing::Test {
protected:
    RuntimeDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-runtime-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    ~RuntimeDir() override
    {
        ::unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(dir_);
    }

    std::filesystem::path display_dir() const { return dir_ / "vorn" / "display"; }
    static std::string read(const std::filesystem::path& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void write(const std::filesystem::path& path, std::string_view text)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::trunc) << text;
    }

    std::filesystem::path dir_;
};

const OutputMode k1080{1920, 1080, 60000};
const OutputMode k720{1280, 720, 60000};

std::vector<OutputCapabilities> two_outputs()
{
    return {
        {.connector = "DP-1", .name = "DELL U2720Q", .modes = {k1080, k720}, .color_profiles = {"icc-1"},
         .hdr_supported = true, .vrr_supported = false},
        {.connector = "eDP-1", .name = "", .modes = {k1080}, .color_profiles = {}, .hdr_supported = false,
         .vrr_supported = true},
    };
}

DisplayConfig side_by_side()
{
    DisplayConfig config;
    config.outputs["eDP-1"] = {.enabled = true, .primary = true, .mode = k1080};
    config.outputs["DP-1"] = {.enabled = true, .x = 1920, .mode = k1080};
    return config;
}

TEST(DisplayConfigTest, ValidatorRefusesWhatNoCompositorCanRun)
{
    struct Case {
        const char* what;
        std::function<void(DisplayConfig&)> edit;
        const char* error;  // empty: valid
    };
    const Case cases[] = {
        {"side by side", [](DisplayConfig&) {}, ""},
        {"everything off",
         [](DisplayConfig& c) {
             c.outputs["eDP-1"].enabled = false;
             c.outputs["eDP-1"].primary = false;
             c.outputs["DP-1"].enabled = false;
         },
         "at least one display must stay on"},
        {"empty layout", [](DisplayConfig& c) { c.outputs.clear(); }, "at least one display must stay on"},
        {"no primary", [](DisplayConfig& c) { c.outputs["eDP-1"].primary = false; }, "one display must be primary"},
        {"two primaries", [](DisplayConfig& c) { c.outputs["DP-1"].primary = true; }, "only one display can be primary"},
        {"primary turned off", [](DisplayConfig& c) { c.outputs["eDP-1"].enabled = false; },
         "the primary display eDP-1 is turned off"},
        {"mirror of itself", [](DisplayConfig& c) { c.outputs["DP-1"].mirror = "DP-1"; },
         "DELL U2720Q cannot mirror itself"},
        {"mirror of an output that is off",
         [](DisplayConfig& c) {
             c.outputs["DP-1"].enabled = false;
             c.outputs["eDP-1"].mirror = "DP-1";
         },
         "eDP-1 cannot mirror DELL U2720Q, which is off"},
        {"mirror of an unknown output", [](DisplayConfig& c) { c.outputs["DP-1"].mirror = "HDMI-A-9"; },
         "DELL U2720Q cannot mirror HDMI-A-9, which is off"},
        {"chain of mirrors",
         [](DisplayConfig& c) {
             c.outputs["DP-1"].mirror = "eDP-1";
             c.outputs["eDP-1"].mirror = "DP-1";
         },
         "DELL U2720Q cannot mirror eDP-1, which mirrors another display itself"},
        {"mirror of the primary", [](DisplayConfig& c) { c.outputs["DP-1"].mirror = "eDP-1"; }, ""},
        {"unknown mode", [](DisplayConfig& c) { c.outputs["eDP-1"].mode = k720; },
         "1280 × 720 · 60 Hz is not a mode of eDP-1"},
        {"unknown profile", [](DisplayConfig& c) { c.outputs["DP-1"].color_profile = "icc-9"; },
         "colour profile icc-9 is not available for DELL U2720Q"},
        {"known profile", [](DisplayConfig& c) { c.outputs["DP-1"].color_profile = "icc-1"; }, ""},
        {"HDR where supported", [](DisplayConfig& c) { c.outputs["DP-1"].hdr = true; }, ""},
        {"HDR unsupported", [](DisplayConfig& c) { c.outputs["eDP-1"].hdr = true; }, "eDP-1 does not support HDR"},
        {"VRR unsupported", [](DisplayConfig& c) { c.outputs["DP-1"].vrr = true; },
         "DELL U2720Q does not support variable refresh rate"},
        {"scale outside the table", [](DisplayConfig& c) { c.outputs["DP-1"].scale = 1.3; },
         "scale 1.3 is not offered for DELL U2720Q"},
        {"scale not a number", [](DisplayConfig& c) { c.outputs["DP-1"].scale = std::nan(""); },
         "scale nan is not offered for DELL U2720Q"},
        {"scale from the table", [](DisplayConfig& c) { c.outputs["DP-1"].scale = 1.75; }, ""},
        {"unknown rotation", [](DisplayConfig& c) { c.outputs["DP-1"].transform = 4; },
         "rotation 4 is unknown for DELL U2720Q"},
        {"an unplugged output that is on", [](DisplayConfig& c) { c.outputs["HDMI-A-1"] = {}; },
         "display output HDMI-A-1 is not connected"},
        {"an unplugged output that is off", [](DisplayConfig& c) { c.outputs["HDMI-A-1"] = {.enabled = false}; }, ""},
        {"what an output that is off asks is not checked",
         [](DisplayConfig& c) {
             c.outputs["DP-1"].enabled = false;
             c.outputs["DP-1"].hdr = true;
             c.outputs["DP-1"].mirror = "DP-1";
         },
         ""},
    };
    const auto caps = two_outputs();
    for (const auto& c : cases) {
        DisplayConfig config = side_by_side();
        c.edit(config);
        const auto valid = config.validate_for(caps);
        if (std::string_view(c.error).empty()) {
            EXPECT_TRUE(valid) << c.what << ": " << (valid ? "" : valid.error());
        } else {
            ASSERT_FALSE(valid) << c.what;
            EXPECT_EQ(valid.error(), c.error) << c.what;
        }
    }
}

TEST_F(RuntimeDir, LayoutFileRoundTripsAndADamagedOneReadsEmpty)
{
    EXPECT_EQ(DisplayConfig::load(), DisplayConfig{});  // no compositor has written one

    DisplayConfig config = side_by_side();
    config.outputs["DP-1"].mirror = "eDP-1";
    config.outputs["DP-1"].color_profile = "icc-1";
    config.outputs["DP-1"].x = -2560;
    config.outputs["DP-1"].transform = 3;
    ASSERT_TRUE(config.save());
    EXPECT_EQ(DisplayConfig::load(), config);
    EXPECT_THAT(read(display_dir() / "config.json"), HasSubstr(R"("x": -2560)"));

    const struct {
        const char* text;
        const char* error;
    } damaged[] = {
        {"{\"outputs\": ", "is damaged"},
        {R"({"outputs": {"DP-1": {"x": 4294967296}}})", "expected i32"},
        {R"({"outputs": {"DP-1": {"mode": {"width": 1}}}})", "missing field `height`"},
        {R"({"outputs": []})", "invalid type"},
    };
    for (const auto& d : damaged) {
        write(display_dir() / "config.json", d.text);
        const auto loaded = DisplayConfig::load_from(display_dir() / "config.json");
        ASSERT_FALSE(loaded) << d.text;
        EXPECT_THAT(loaded.error(), HasSubstr(d.error));
        EXPECT_EQ(DisplayConfig::load(), DisplayConfig{});
    }
}

TEST(DisplayConfigFilesTest, WithoutARuntimeFolderNothingIsShared)
{
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(display_transaction_path().error(), "no runtime folder (XDG_RUNTIME_DIR is not set)");
    EXPECT_EQ(DisplayConfig::load(), DisplayConfig{});
    EXPECT_EQ(DisplayTransaction::load(), std::nullopt);
    const auto requested = DisplayTransaction::request(side_by_side());
    ASSERT_FALSE(requested);
    EXPECT_EQ(requested.error(), "no runtime folder (XDG_RUNTIME_DIR is not set)");
}

// Plays the compositor's part on the file, the way a compositor does.
void compositor_moves(TransactionState state, std::optional<std::uint64_t> deadline = std::nullopt,
                      std::optional<std::string> message = std::nullopt)
{
    ASSERT_TRUE(update_display_transaction([&](std::optional<DisplayTransaction>& tx) {
        ASSERT_TRUE(tx);
        tx->state = static_cast<std::uint8_t>(state);
        tx->confirm_deadline_unix_ms = deadline;
        tx->message = std::move(message);
    }));
}

TEST_F(RuntimeDir, TransactionGoesFromRequestToKeptAndAllowsOnlyOnePending)
{
    EXPECT_EQ(DisplayTransaction::load(), std::nullopt);
    const auto before = unix_ms();
    auto tx = DisplayTransaction::request(side_by_side());
    ASSERT_TRUE(tx) << tx.error();
    EXPECT_EQ(tx->state, 0);
    EXPECT_TRUE(tx->pending());
    EXPECT_GE(tx->id, before);
    EXPECT_EQ(DisplayTransaction::load(), *tx);
    EXPECT_THAT(read(display_dir() / "transaction.json"), HasSubstr(R"("state_name": "requested")"));

    // A second request while the first is pending is refused and changes nothing.
    DisplayConfig other = side_by_side();
    other.outputs["DP-1"].enabled = false;
    const auto second = DisplayTransaction::request(other);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error(), "another display change is still being applied or tested");
    EXPECT_EQ(DisplayTransaction::load(), *tx);

    compositor_moves(TransactionState::AwaitingConfirmation, before + 15000);
    ASSERT_TRUE(tx->request_confirmation());
    ASSERT_TRUE(tx->request_confirmation());  // asking twice does no harm
    auto seen = DisplayTransaction::load();
    ASSERT_TRUE(seen);
    EXPECT_TRUE(seen->keep_requested);
    EXPECT_FALSE(seen->revert_requested);
    EXPECT_EQ(seen->confirm_deadline_unix_ms, before + 15000);

    compositor_moves(TransactionState::Kept);
    const auto late = tx->request_revert();
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error(), "the display change has already ended");

    // The next transaction gets a newer id; the older handle no longer reaches the file.
    auto next = DisplayTransaction::request(other);
    ASSERT_TRUE(next) << next.error();
    EXPECT_GT(next->id, tx->id);
    const auto stale = tx->request_confirmation();
    ASSERT_FALSE(stale);
    EXPECT_EQ(stale.error(), "the display change is no longer current");
}

TEST_F(RuntimeDir, WithdrawingWorksOnlyUntilACompositorTakesTheRequest)
{
    auto tx = DisplayTransaction::request(side_by_side());
    ASSERT_TRUE(tx);
    compositor_moves(TransactionState::Validating);
    EXPECT_EQ(tx->withdraw("No display service answered."), false);
    EXPECT_EQ(DisplayTransaction::load()->state, 2);

    compositor_moves(TransactionState::Rejected, std::nullopt, "no such mode");
    auto next = DisplayTransaction::request(side_by_side());
    ASSERT_TRUE(next);
    EXPECT_EQ(next->withdraw("No display service answered."), true);
    const auto ended = DisplayTransaction::load();
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->state, static_cast<std::uint8_t>(TransactionState::Withdrawn));
    EXPECT_EQ(ended->message, "No display service answered.");
    EXPECT_FALSE(ended->pending());
}

TEST_F(RuntimeDir, DamagedTransactionFileIsKeptAsideAndReplacedByTheNextRequest)
{
    write(display_dir() / "transaction.json", R"({"id": 5, "state": "applied"})");
    EXPECT_EQ(DisplayTransaction::load(), std::nullopt);
    auto tx = DisplayTransaction::request(side_by_side());
    ASSERT_TRUE(tx) << tx.error();
    EXPECT_EQ(DisplayTransaction::load(), *tx);
    bool kept_aside = false;
    for (const auto& entry : std::filesystem::directory_iterator(display_dir())) {
        kept_aside = kept_aside || entry.path().filename().string().starts_with("transaction.json.corrupt-");
    }
    EXPECT_TRUE(kept_aside);
}

TEST_F(RuntimeDir, ConcurrentRequestsLeaveExactlyOneTransaction)
{
    std::atomic<int> granted = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            if (DisplayTransaction::request(side_by_side())) {
                ++granted;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(granted.load(), 1);
    const auto text = read(display_dir() / "transaction.json");
    EXPECT_TRUE(json_text::parse(text)) << text;  // written whole
}

TEST(DisplayTransactionTest, StatesOfLaterVersionsEndTheTransaction)
{
    DisplayTransaction tx;
    for (std::uint8_t state : {0, 1, 2, 3}) {
        tx.state = state;
        EXPECT_TRUE(tx.pending());
    }
    for (std::uint8_t state : {4, 5, 6, 7, 8, 200}) {
        tx.state = state;
        EXPECT_FALSE(tx.pending());
    }
    EXPECT_EQ(state_name(1), "awaiting-confirmation");
    EXPECT_EQ(state_name(9), "unknown");
}

// ---- The compositor's snapshot ------------------------------------------------------------------------------------

OutputDescriptor randr_output(std::string connector, bool enabled)
{
    OutputDescriptor output;
    output.connector = std::move(connector);
    output.enabled = enabled;
    output.modes = {k1080, k720};
    output.current_mode = k1080;
    output.hdr_reason = "Not available in an X11 session";
    return output;
}

TEST_F(RuntimeDir, CompositorSnapshotListsItsOutputsCompletedFromTheKernel)
{
    // The kernel knows the monitor behind DP-1 by its EDID, and a panel the compositor does not drive.
    OutputDescriptor monitor;
    monitor.connector = "DP-1";
    monitor.name = "DELL U2720Q";
    monitor.manufacturer = "DEL";
    monitor.display_reports_hdr = true;
    OutputDescriptor panel;
    panel.connector = "eDP-1";
    panel.built_in = true;
    auto kernel = std::make_shared<FakeDisplayHardware>(DisplayHardwareSnapshot{.outputs = {monitor, panel}});
    SessionDisplayHardware session(kernel);

    // Without the compositor's file: the kernel's view.
    auto plain = session.load();
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->outputs.size(), 2U);

    DisplayHardwareSnapshot written{.outputs = {randr_output("DP-1", true), randr_output("DUMMY1", false)}};
    written.outputs[1].color_profiles = {"icc-1"};
    written.outputs[1].color_profile_catalogue = {{"icc-1", "sRGB"}};
    ASSERT_TRUE(save_snapshot_file(written, *display_snapshot_path()));
    const auto loaded = load_snapshot_file(*display_snapshot_path());
    ASSERT_TRUE(loaded && *loaded);
    EXPECT_EQ(**loaded, written);

    auto merged = session.load();
    ASSERT_TRUE(merged);
    ASSERT_EQ(merged->outputs.size(), 2U);
    EXPECT_EQ(merged->outputs[0].connector, "DP-1");
    EXPECT_EQ(merged->outputs[0].name, "DELL U2720Q");
    EXPECT_EQ(merged->outputs[0].manufacturer, "DEL");
    EXPECT_TRUE(merged->outputs[0].display_reports_hdr);
    EXPECT_FALSE(merged->outputs[0].hdr_supported);
    EXPECT_EQ(merged->outputs[0].hdr_reason, "Not available in an X11 session");
    EXPECT_EQ(merged->outputs[1].connector, "DUMMY1");
    EXPECT_EQ(merged->outputs[1].color_profile_label("icc-1"), "sRGB · icc-1");

    // The compositor's file counts even when the kernel has no graphics driver.
    kernel->set_snapshot(std::unexpected(std::string("display hardware information is unavailable")));
    EXPECT_EQ(session.load()->outputs.size(), 2U);

    // A damaged file falls back to the kernel's view.
    write(*display_snapshot_path(), R"({"outputs": [{"connector": "DP-1"}, {"connector": "DP-1"}]})");
    EXPECT_THAT(load_snapshot_file(*display_snapshot_path()).error(), HasSubstr("DP-1 is listed twice"));
    kernel->set_snapshot(DisplayHardwareSnapshot{.outputs = {monitor, panel}});
    EXPECT_EQ(session.load()->outputs.size(), 2U);
    EXPECT_EQ(session.load()->outputs[1].connector, "eDP-1");
}

TEST(DisplayHardwareQualifiersTest, EqualNamesGetTheirConnector)
{
    DisplayHardwareSnapshot snapshot;
    for (const char* connector : {"DP-1", "DP-2", "HDMI-A-1"}) {
        OutputDescriptor output;
        output.connector = connector;
        output.name = std::string_view(connector) == "HDMI-A-1" ? "TV" : "DELL U2720Q";
        snapshot.outputs.push_back(output);
    }
    snapshot.outputs[2].qualifier = "stale";
    assign_qualifiers(snapshot);
    EXPECT_EQ(snapshot.outputs[0].card_qualifier(), "DP-1");
    EXPECT_EQ(snapshot.outputs[1].card_qualifier(), "DP-2");
    EXPECT_EQ(snapshot.outputs[2].card_qualifier(), std::nullopt);
}

}  // namespace
}  // namespace config_sections::hardware
