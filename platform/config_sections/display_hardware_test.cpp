#include "config_sections/display_hardware.hpp"
#include "config_sections/edid.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <fstream>
#include <numeric>

namespace config_sections::hardware {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Builds EDIDs byte by byte, the way displays store them.
class EdidBuilder {
public:
    EdidBuilder()
    {
        base_ = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
        manufacturer("DEL");
        base_[10] = 0x34;  // product code 0x1234
        base_[11] = 0x12;
        base_[12] = 0x39;  // serial 12345
        base_[13] = 0x30;
        base_[18] = 1;
        base_[19] = 4;     // EDID 1.4
        base_[24] = 0x06;  // sRGB default, preferred timing first
        for (std::size_t s = 38; s < 54; ++s) {
            base_[s] = 0x01;  // unused standard timings
        }
    }

    EdidBuilder& manufacturer(const char* id)
    {
        const int v = (id[0] - 'A' + 1) << 10 | (id[1] - 'A' + 1) << 5 | (id[2] - 'A' + 1);
        base_[8] = static_cast<std::uint8_t>(v >> 8);
        base_[9] = static_cast<std::uint8_t>(v & 0xFF);
        return *this;
    }
    EdidBuilder& revision(std::uint8_t r)
    {
        base_[19] = r;
        return *this;
    }
    EdidBuilder& features(std::uint8_t f)
    {
        base_[24] = f;
        return *this;
    }
    // A detailed timing in descriptor slot 0 to 3 (pixel clock in units of 10 kHz).
    EdidBuilder& timing(int slot, std::uint16_t clock, int h_active, int h_blank, int v_active, int v_blank,
                        bool interlaced = false)
    {
        write_timing(base_.data() + 54 + 18 * slot, clock, h_active, h_blank, v_active, v_blank, interlaced);
        return *this;
    }
    EdidBuilder& text(int slot, std::uint8_t tag, const std::string& value)
    {
        std::uint8_t* d = base_.data() + 54 + 18 * slot;
        std::fill(d, d + 18, 0);
        d[3] = tag;
        std::fill(d + 5, d + 18, 0x20);
        for (std::size_t i = 0; i < value.size() && i < 13; ++i) {
            d[5 + i] = static_cast<std::uint8_t>(value[i]);
        }
        if (value.size() < 13) {
            d[5 + value.size()] = 0x0A;
        }
        return *this;
    }
    EdidBuilder& range(int slot, std::uint8_t min_v, std::uint8_t max_v)
    {
        std::uint8_t* d = base_.data() + 54 + 18 * slot;
        std::fill(d, d + 18, 0);
        d[3] = 0xFD;
        d[5] = min_v;
        d[6] = max_v;
        return *this;
    }
    EdidBuilder& established(std::size_t byte, int bit)
    {
        base_[35 + byte] |= static_cast<std::uint8_t>(1 << bit);
        return *this;
    }
    EdidBuilder& standard(int slot, std::uint8_t a, std::uint8_t b)
    {
        base_[38 + 2 * slot] = a;
        base_[39 + 2 * slot] = b;
        return *this;
    }
    // A CTA-861 extension with these data blocks (each with its header byte) and detailed timings.
    EdidBuilder& cta(const std::vector<std::vector<std::uint8_t>>& blocks,
                     const std::vector<std::array<int, 5>>& timings = {})
    {
        std::array<std::uint8_t, 128> ext{};
        ext[0] = 0x02;
        ext[1] = 3;
        std::size_t at = 4;
        for (const auto& block : blocks) {
            std::copy(block.begin(), block.end(), ext.begin() + static_cast<std::ptrdiff_t>(at));
            at += block.size();
        }
        ext[2] = static_cast<std::uint8_t>(at);
        for (const auto& t : timings) {
            write_timing(ext.data() + at, static_cast<std::uint16_t>(t[0]), t[1], t[2], t[3], t[4], false);
            at += 18;
        }
        extensions_.push_back(ext);
        return *this;
    }
    EdidBuilder& corrupt_last_extension()
    {
        corrupt_ = true;
        return *this;
    }

    [[nodiscard]] std::string bytes() const
    {
        auto base = base_;
        base[126] = static_cast<std::uint8_t>(extensions_.size());
        seal(base);
        std::string out(base.begin(), base.end());
        for (std::size_t i = 0; i < extensions_.size(); ++i) {
            auto ext = extensions_[i];
            seal(ext);
            if (corrupt_ && i + 1 == extensions_.size()) {
                ext[127] ^= 0x55;
            }
            out.append(ext.begin(), ext.end());
        }
        return out;
    }

private:
    static void write_timing(std::uint8_t* d, std::uint16_t clock, int h_active, int h_blank, int v_active, int v_blank,
                             bool interlaced)
    {
        std::fill(d, d + 18, 0);
        d[0] = static_cast<std::uint8_t>(clock & 0xFF);
        d[1] = static_cast<std::uint8_t>(clock >> 8);
        d[2] = static_cast<std::uint8_t>(h_active & 0xFF);
        d[3] = static_cast<std::uint8_t>(h_blank & 0xFF);
        d[4] = static_cast<std::uint8_t>((h_active >> 8) << 4 | (h_blank >> 8));
        d[5] = static_cast<std::uint8_t>(v_active & 0xFF);
        d[6] = static_cast<std::uint8_t>(v_blank & 0xFF);
        d[7] = static_cast<std::uint8_t>((v_active >> 8) << 4 | (v_blank >> 8));
        d[17] = interlaced ? 0x80 : 0x18;
    }
    static void seal(std::array<std::uint8_t, 128>& block)
    {
        block[127] = 0;
        const unsigned sum = std::accumulate(block.begin(), block.end() - 1, 0U);
        block[127] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
    }

    std::array<std::uint8_t, 128> base_{};
    std::vector<std::array<std::uint8_t, 128>> extensions_;
    bool corrupt_ = false;
};

std::expected<EdidInfo, std::string> parse(const std::string& bytes)
{
    return parse_edid(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// A 27" monitor: 2560 × 1440 at 143.98 Hz preferred, 4K by CTA video formats, HDR10 and FreeSync.
std::string monitor_edid()
{
    return EdidBuilder()
        .timing(0, 58000, 2560, 160, 1440, 41)
        .timing(1, 14850, 1920, 280, 1080, 45)
        .text(2, 0xFC, "DELL U2720Q")
        .text(3, 0xFF, "CN0ABC123")
        .established(0, 5)          // 640 × 480 at 60 Hz
        .established(1, 3)          // 1024 × 768 at 60 Hz
        .standard(0, 129, 0x80)     // 1280 × 1024 at 60 Hz
        .cta({{0x43, 16, 97, 95},                   // video: 1080p60, 2160p60, 2160p30
              {0xE3, 0x06, 0x05, 0x00},             // HDR static metadata: SDR and PQ
              {0x63, 0x1A, 0x00, 0x00}})            // AMD vendor block: FreeSync
        .bytes();
}

TEST(EdidTest, MonitorAnnouncesNameModesHdrAndVariableRefresh)
{
    const auto edid = parse(monitor_edid());
    ASSERT_TRUE(edid.has_value()) << edid.error();
    EXPECT_EQ(edid->manufacturer, "DEL");
    EXPECT_EQ(edid->product_code, 0x1234);
    EXPECT_EQ(edid->monitor_name, "DELL U2720Q");
    EXPECT_EQ(edid->serial, "CN0ABC123");
    EXPECT_TRUE(edid->hdr);
    EXPECT_TRUE(edid->vrr);
    EXPECT_EQ(edid->preferred, (OutputMode{2560, 1440, 143981}));
    EXPECT_THAT(edid->modes, ElementsAre(OutputMode{2560, 1440, 143981}, OutputMode{3840, 2160, 60000},
                                         OutputMode{3840, 2160, 30000}, OutputMode{1920, 1080, 60000},
                                         OutputMode{1280, 1024, 60000}, OutputMode{1024, 768, 60000},
                                         OutputMode{640, 480, 60000}));
}

TEST(EdidTest, PlainPanelWithoutExtensions)
{
    // An old EDID 1.3 panel: no continuous-frequency meaning, a numeric serial, an interlaced timing to skip.
    const auto edid = parse(EdidBuilder()
                                .revision(3)
                                .features(0x0B)
                                .timing(0, 15400, 1920, 160, 1200, 35)
                                .timing(1, 7425, 1920, 280, 540, 22, true)
                                .range(2, 40, 75)
                                .text(3, 0xFE, "LP140WU1-SPB1")
                                .bytes());
    ASSERT_TRUE(edid.has_value()) << edid.error();
    EXPECT_EQ(edid->monitor_name, "");
    EXPECT_EQ(edid->serial, "12345");
    EXPECT_FALSE(edid->hdr);
    EXPECT_FALSE(edid->vrr);
    EXPECT_THAT(edid->modes, ElementsAre(OutputMode{1920, 1200, 59950}));

    // The same range on EDID 1.4 with continuous frequency is an Adaptive-Sync display.
    const auto adaptive = parse(EdidBuilder().features(0x07).timing(0, 15400, 1920, 160, 1200, 35).range(1, 40, 75).bytes());
    EXPECT_TRUE(adaptive->vrr);
}

TEST(EdidTest, DamagedEdidsAreRefusedOrTrimmed)
{
    const std::string good = monitor_edid();
    EXPECT_EQ(parse("").error(), "no EDID");
    EXPECT_EQ(parse(good.substr(0, 100)).error(), "EDID too short (100 bytes)");
    std::string bad_header = good;
    bad_header[1] = 0;
    EXPECT_EQ(parse(bad_header).error(), "EDID header missing");
    std::string bad_sum = good;
    bad_sum[60] ^= 0x10;
    EXPECT_EQ(parse(bad_sum).error(), "EDID checksum wrong");

    // A damaged extension is skipped: the base block still counts, the CTA modes and flags do not.
    const auto trimmed = parse(EdidBuilder()
                                   .timing(0, 14850, 1920, 280, 1080, 45)
                                   .cta({{0x43, 16, 97, 95}, {0xE3, 0x06, 0x05, 0x00}})
                                   .corrupt_last_extension()
                                   .bytes());
    ASSERT_TRUE(trimmed.has_value());
    EXPECT_FALSE(trimmed->hdr);
    EXPECT_THAT(trimmed->modes, ElementsAre(OutputMode{1920, 1080, 60000}));

    // A missing extension block (the count says one more) and data blocks that overrun are not read.
    std::string cut = EdidBuilder().timing(0, 14850, 1920, 280, 1080, 45).cta({{0x5F, 1, 2}}).bytes();
    EXPECT_TRUE(parse(cut).has_value());
    EXPECT_TRUE(parse(cut.substr(0, 128)).has_value());
}

TEST(OutputModeTest, LabelsNameSizeAndRefreshRate)
{
    struct Case {
        OutputMode mode;
        std::string label;
    };
    for (const auto& c : std::vector<Case>{{{1920, 1080, 60000}, "1920 × 1080 · 60 Hz"},
                                           {{2560, 1440, 143981}, "2560 × 1440 · 143.98 Hz"},
                                           {{1920, 1080, 59940}, "1920 × 1080 · 59.94 Hz"},
                                           {{1920, 1080, 59995}, "1920 × 1080 · 60 Hz"},
                                           {{1280, 720, 60500}, "1280 × 720 · 60.5 Hz"},
                                           {{1920, 1080, 23976}, "1920 × 1080 · 23.98 Hz"},
                                           {{800, 600, 0}, "800 × 600"}}) {
        EXPECT_EQ(c.mode.label(), c.label);
    }
}

// A temporary /sys with DRM connectors.
class DrmTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vorn_drm.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        std::filesystem::create_directories(root_ / "class/drm");
        write("card0/dev", "226:0\n");
        write("renderD128/dev", "226:128\n");
        write("version", "drm 1.1.0 20060810\n");
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    void write(const std::string& file, const std::string& text)
    {
        const auto path = root_ / "class/drm" / file;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    void connector(const std::string& name, const std::string& status, const std::string& edid = "",
                   const std::string& modes = "")
    {
        write(name + "/status", status + "\n");
        write(name + "/enabled", status == "connected" ? "enabled\n" : "disabled\n");
        write(name + "/edid", edid);
        write(name + "/modes", modes);
    }
    std::expected<DisplayHardwareSnapshot, std::string> load() { return SysfsDisplayHardware(root_).load(); }

    std::filesystem::path root_;
};

TEST_F(DrmTree, LaptopWithAnExternalMonitor)
{
    const std::string panel = EdidBuilder().manufacturer("BOE").timing(0, 15400, 1920, 160, 1200, 35).bytes();
    connector("card0-eDP-1", "connected", panel, "1920x1200\n1600x1200\n");
    connector("card0-DP-10", "disconnected");
    connector("card0-DP-2", "connected", monitor_edid(),
              "2560x1440\n3840x2160\n1920x1080\n1920x1080i\n1280x1024\n800x600\n800x600\n");
    connector("card0-HDMI-A-1", "disconnected");
    connector("card0-Writeback-1", "unknown");

    const auto snapshot = load();
    ASSERT_TRUE(snapshot.has_value()) << snapshot.error();
    ASSERT_EQ(snapshot->outputs.size(), 2U);

    const auto& laptop = *snapshot->find("eDP-1");
    EXPECT_EQ(laptop.connector, "eDP-1");
    EXPECT_TRUE(laptop.built_in);
    EXPECT_TRUE(laptop.enabled);
    EXPECT_EQ(laptop.name_or_connector(), "eDP-1");
    EXPECT_EQ(laptop.manufacturer, "BOE");
    // The kernel's scaled size has no refresh rate of its own.
    EXPECT_THAT(laptop.modes, ElementsAre(OutputMode{1920, 1200, 59950}, OutputMode{1600, 1200, 0}));
    EXPECT_EQ(laptop.current_mode, (OutputMode{1920, 1200, 59950}));
    EXPECT_EQ(laptop.card_qualifier(), std::nullopt);

    const auto& monitor = *snapshot->find("DP-2");
    EXPECT_EQ(monitor.name_or_connector(), "DELL U2720Q");
    EXPECT_FALSE(monitor.built_in);
    EXPECT_TRUE(monitor.display_reports_hdr);
    EXPECT_TRUE(monitor.display_reports_vrr);
    EXPECT_FALSE(monitor.hdr_supported);  // that is the compositor's to say
    EXPECT_EQ(monitor.modes.front(), (OutputMode{2560, 1440, 143981}));
    EXPECT_EQ(monitor.modes.back(), (OutputMode{800, 600, 0}));
    EXPECT_EQ(monitor.modes.size(), 8U);
    EXPECT_THAT(monitor.color_profiles, IsEmpty());
    EXPECT_EQ(snapshot->find("HDMI-A-1"), nullptr);
}

TEST_F(DrmTree, IdenticalMonitorsOnTwoCardsStayApart)
{
    connector("card1-DP-1", "connected", monitor_edid(), "2560x1440\n");
    connector("card0-DP-1", "connected", monitor_edid(), "2560x1440\n");
    connector("card0-DP-3", "connected", "broken edid bytes", "1024x768\n");

    const auto snapshot = load();
    ASSERT_TRUE(snapshot.has_value()) << snapshot.error();
    ASSERT_EQ(snapshot->outputs.size(), 3U);
    EXPECT_EQ(snapshot->outputs[0].connector, "card0-DP-1");
    EXPECT_EQ(snapshot->outputs[1].connector, "DP-3");
    EXPECT_EQ(snapshot->outputs[2].connector, "card1-DP-1");
    EXPECT_EQ(snapshot->outputs[0].card_qualifier(), "card0-DP-1");
    EXPECT_EQ(snapshot->outputs[2].card_qualifier(), "card1-DP-1");
    EXPECT_EQ(snapshot->outputs[1].card_qualifier(), std::nullopt);
    EXPECT_EQ(snapshot->outputs[1].name, "");  // the unreadable EDID is ignored
    EXPECT_THAT(snapshot->outputs[1].modes, ElementsAre(OutputMode{1024, 768, 0}));
}

TEST_F(DrmTree, NoGraphicsDriverIsAnErrorNothingConnectedIsNot)
{
    connector("card0-HDMI-A-1", "disconnected");
    const auto empty = load();
    ASSERT_TRUE(empty.has_value());
    EXPECT_THAT(empty->outputs, IsEmpty());

    const auto missing = SysfsDisplayHardware(root_ / "nowhere").load();
    ASSERT_FALSE(missing.has_value());
    EXPECT_THAT(missing.error(), HasSubstr("display hardware information is unavailable"));
}

TEST(DisplayHardwareSourceTest, FakeSnapshotReplacesTheKernelsView)
{
    OutputDescriptor output{.connector = "HDMI-A-1", .name = "Projector"};
    output.color_profile_catalogue = {{"srgb", "sRGB IEC61966-2.1"}};
    output.color_profiles = {"srgb"};
    auto fake = std::make_shared<FakeDisplayHardware>(DisplayHardwareSnapshot{.outputs = {output}});
    {
        const ScopedDisplayHardware guard(fake);
        const auto snapshot = DisplayHardwareSnapshot::load();
        ASSERT_TRUE(snapshot.has_value());
        const auto* found = snapshot->find("HDMI-A-1");
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->color_profile_label("srgb"), "sRGB IEC61966-2.1 · srgb");
        EXPECT_EQ(found->color_profile_label("p3"), std::nullopt);
        fake->set_snapshot(std::unexpected(std::string("no compositor")));
        EXPECT_EQ(DisplayHardwareSnapshot::load().error(), "no compositor");
    }
    EXPECT_NE(current_display_hardware(), fake);
}

}  // namespace
}  // namespace config_sections::hardware
