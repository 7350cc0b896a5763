#include "actions/catalogue/catalogue.hpp"
#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/test_support.hpp"
#include "actions/payloads/codec.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace settings::actions::catalogue {
namespace {

using ::testing::ElementsAre;

std::vector<account_registry::Account> sample_accounts()
{
    account_registry::Account mail("mail-1", "email");
    mail.display_name = "Work mail";
    account_registry::Account files("dav-1", "webdav");  // no display name: titled by its id
    account_registry::Account cloud("nc-1", "nextcloud");
    cloud.display_name = "Home cloud";
    return {mail, files, cloud};
}

class SampleTree : public ::testing::Test {
protected:
    ScopedPlatform platform_{std::make_shared<FakePlatform>(FakePlatform::sample())};
    page_doc::Document doc_;
    std::vector<account_registry::Account> accounts_ = sample_accounts();

    Resource root() { return build_root_resource(doc_, accounts_).at(0); }
};

std::filesystem::path golden_path(std::string_view name)
{
    const char* source = std::getenv("VORN_SOURCE_DIR");
    return std::filesystem::path(source != nullptr ? source : ".") / "apps/settings/src/actions/catalogue/testdata" /
           name;
}

void expect_golden(std::string_view name, const std::string& text)
{
    const auto path = golden_path(name);
    if (const char* update = std::getenv("VORN_UPDATE_GOLDEN"); update != nullptr && std::string_view(update) == "1") {
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing " << path << " (run with VORN_UPDATE_GOLDEN=1 to write it)";
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(text, expected.str()) << "the tree differs from " << path
                                    << "; if the change is intended, run with VORN_UPDATE_GOLDEN=1";
}

TEST_F(SampleTree, MatchesTheGoldenDump)
{
    expect_golden("sample_tree.golden", testing::dump_tree(root()));
}

TEST(EmptyMachineTree, MatchesTheGoldenDump)
{
    // Every query fails or answers nothing: the sections keep their fixed actions and publish no objects.
    auto bare = std::make_shared<FakePlatform>();
    bare->displays = std::unexpected("no DRM devices");
    bare->bluetooth = std::unexpected("bluetoothctl not found");
    bare->queues = std::unexpected("scheduler not running");
    bare->jobs = std::unexpected("scheduler not running");
    bare->users = std::unexpected("could not read /etc/passwd");
    ScopedPlatform platform(bare);
    page_doc::Document doc;
    expect_golden("empty_machine_tree.golden", testing::dump_tree(build_root_resource(doc, {}).at(0)));
}

TEST_F(SampleTree, RootHoldsTheSectionsInSidebarOrderEachOpeningFirst)
{
    const Resource tree = root();
    EXPECT_EQ(tree.id, "settings.root");
    EXPECT_EQ(tree.kind, "settings.root");
    EXPECT_EQ(tree.title, "Settings");
    ASSERT_EQ(tree.children.size(), 22U);
    EXPECT_EQ(tree.children[13].id, "settings.section:power");
    for (std::size_t i = 0; i < tree.children.size(); ++i) {
        const Resource& section = tree.children[i];
        EXPECT_EQ(section.id, section_resource_id(sidebar_order()[i]));
        ASSERT_FALSE(section.actions.empty()) << section.id;
        EXPECT_EQ(section.actions.front().id, "open") << section.id;
        EXPECT_EQ(section.actions.front().effect_class, 2) << section.id;
    }
}

// Every action, invoked with arguments for each of its parameters, yields a payload that decodes under its kind.
TEST_F(SampleTree, EveryActionsExampleArgumentsYieldADecodablePayload)
{
    std::size_t checked = 0;
    std::function<void(const Resource&)> visit = [&](const Resource& resource) {
        for (const auto& action : resource.actions) {
            SCOPED_TRACE(resource.id + "#" + action.id);
            auto args = testing::example_arguments(action);
            auto encoded = action.build_json(args);
            ASSERT_TRUE(encoded) << encoded.error().display();
            if (action.operation_kind) {
                EXPECT_EQ(encoded->kind, *action.operation_kind);
            }
            if (encoded->kind == "settings.open-pane") {
                auto section = decode_open_pane_payload(encoded->payload);
                ASSERT_TRUE(section) << section.error();
                EXPECT_TRUE(Section::from_id(*section));
            } else {
                auto decoded = decode_operation(encoded->kind, encoded->payload);
                EXPECT_TRUE(decoded) << encoded->kind << " " << encoded->payload << ": " << decoded.error();
            }
            ++checked;
        }
        for (const auto& child : resource.children) {
            visit(child);
        }
    };
    visit(root());
    EXPECT_GT(checked, 250U);
}

TEST_F(SampleTree, ASectionResourceEqualsItsPlaceInTheWholeTree)
{
    const Resource tree = root();
    const auto file = current_platform()->settings_file();
    for (Section section : {Section::Sound, Section::Displays, Section::Printers, Section::ExternalAccounts}) {
        const Resource alone = section_resource(section, doc_, file, accounts_);
        const Resource* placed = find_resource_in(tree, section_resource_id(section));
        ASSERT_NE(placed, nullptr);
        EXPECT_EQ(testing::dump_tree(alone), testing::dump_tree(*placed));
    }
}

TEST_F(SampleTree, FindResourceSearchesDepthFirst)
{
    const Resource tree = root();
    EXPECT_EQ(find_resource(tree, "settings.root")->id, "settings.root");
    EXPECT_FALSE(find_resource(tree, "settings.section:"));
    auto printer = find_resource(tree, "settings.printer:Office");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->kind, "settings.printer");
}

struct Resolution {
    std::string address;
    std::optional<std::string> kind;  // none: the address resolves to nothing
};

TEST_F(SampleTree, ResolvesEveryAddressForm)
{
    const std::vector<Resolution> table{
        {"settings.root", "settings.root"},
        {"settings.section:power", "settings.section"},
        {"settings.section:default-apps", "settings.default-apps"},
        {"settings.section:external_accounts", "settings.accounts"},
        {"settings.section:agent_models", "settings.agent-models"},
        {"settings.section:Power", std::nullopt},  // ids compare byte for byte
        {"settings.section:", std::nullopt},
        {"settings.default-app:mime:text/html", "settings.default-app-handler"},
        {"settings.account:mail-1", "settings.external-account"},
        {"settings.account:gone", std::nullopt},
        {"settings.notification-app:org.example.Chat", "settings.notification-app"},
        {"settings.audio-output:42", "settings.audio-output"},
        {"settings.audio-input:50", "settings.audio-input"},
        {"settings.audio-playback:70", "settings.audio-playback"},
        {"settings.audio-recording:71", "settings.audio-recording"},
        {"settings.audio-device:30", std::nullopt},  // in the tree, not reachable by address
        {"settings.display-output:DP-2", "settings.display-output"},
        {"settings.input-source:de", "settings.input-source"},
        {"settings.input-source:fr", std::nullopt},
        {"settings.bluetooth-device:/org/bluez/hci0/dev_AA_BB_CC_DD_EE_01", "settings.bluetooth-device"},
        {"settings.printer:Labels", "settings.printer"},
        {"settings.print-job:17", "settings.print-job"},
        {"settings.user:grace", "settings.user"},
        {"settings.user:ada", std::nullopt},  // the signed-in user has no resource
        {"settings.device-mesh-workspace:9", "settings.device-mesh-workspace"},
        {"settings.agent-model-recommendation:qwen-7b", "settings.agent-model-package"},
        {"settings.agent-model:phi-3", "settings.agent-model"},
        {"settings.agent-provider:lab", "settings.agent-provider"},
        {"settings.agent-provider:local-vllm", std::nullopt},  // on this device: listed as local models instead
        {"settings.unknown:1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.address);
        auto resolved = resolve_resource_address(doc_, accounts_, row.address);
        ASSERT_EQ(resolved.has_value(), row.kind.has_value());
        if (resolved) {
            EXPECT_EQ(resolved->id, row.address);
            EXPECT_EQ(resolved->kind, *row.kind);
        }
    }
}

TEST_F(SampleTree, NavigationRootHoldsOnlyTheOpenActions)
{
    auto root = resolve_resource_address(doc_, accounts_, "settings.root");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 22U);
    for (const auto& section : root->children) {
        EXPECT_EQ(section.kind, "settings.section");
        ASSERT_EQ(section.actions.size(), 1U);
        EXPECT_EQ(section.actions[0].id, "open");
        EXPECT_TRUE(section.children.empty());
    }
}

TEST(OpenPane, OpensOnlyASectionsOpenAction)
{
    auto time = open_pane_action(section_open_action(Section::TimeDate));
    ASSERT_TRUE(time);
    EXPECT_EQ(time->id, "settings.section:time_date");
    ASSERT_EQ(time->actions.size(), 1U);
    EXPECT_EQ(time->actions[0].title, "Open Time & Date");
    auto encoded = time->actions[0].build_json(nlohmann::ordered_json::object());
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->kind, "settings.open-pane");
    EXPECT_EQ(encoded->payload, "\"time_date\"");

    EXPECT_EQ(section_open_action(Section::Power).encode(), "settings.section:power#open");
    EXPECT_FALSE(open_pane_action(ActionAddress("settings.section:power", "close")));
    EXPECT_FALSE(open_pane_action(ActionAddress("settings.printer:Office", "open")));
}

TEST(SectionOfAddress, TakesTheFirstMatchingPrefix)
{
    EXPECT_EQ(section_of_address("settings.agent-model-recommendation:x"), Section::AgentModels);
    EXPECT_EQ(section_of_address("settings.print-job:3"), Section::Printers);
    EXPECT_EQ(section_of_address("settings.section:about"), Section::About);
    EXPECT_FALSE(section_of_address("settings.root"));
    EXPECT_FALSE(section_of_address("settings.audio-device:1"));
}

}  // namespace
}  // namespace settings::actions::catalogue

namespace settings::actions::catalogue {
namespace {

TEST(SectionResource, WithoutADocumentUsesTheSettingsFile)
{
    auto platform = std::make_shared<FakePlatform>(FakePlatform::sample());
    ScopedPlatform scoped(platform);
    const Resource users = section_resource(Section::Users);
    EXPECT_EQ(users.actions.front().id, "open");
    EXPECT_EQ(users.children.size(), 2U);
    const Resource appearance = section_resource(Section::Appearance);
    auto theme = appearance.find_action("theme")->build_json(nlohmann::ordered_json::object());
    ASSERT_TRUE(theme);
    EXPECT_EQ(theme->payload, R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Nord"}}})");
}

}  // namespace
}  // namespace settings::actions::catalogue
