// The default-application policy over fixture package folders: which packages are candidates, how a kind resolves,
// and the personal defaults kept in the settings file.
#include "desk_rules/defaults.hpp"

#include "config_sections/config_sections.hpp"
#include "test_buses/temp_dir.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace desk_rules::defaults {
namespace {

namespace fs = std::filesystem;

class PackageRoot {
public:
    void add(const std::string& package_id, const std::string& manifest)
    {
        const fs::path dir = dir_.path() / package_id;
        fs::create_directories(dir);
        std::ofstream(dir / "manifest.json") << manifest;
    }
    [[nodiscard]] std::vector<AppCandidate> apps() const { return installed_apps(std::vector<fs::path>{dir_.path()}); }

private:
    test_buses::TempDir dir_{"vorn_default_apps"};
};

std::vector<std::string> ids(const std::vector<AppCandidate>& apps)
{
    std::vector<std::string> out;
    for (const auto& app : apps) {
        out.push_back(app.id);
    }
    return out;
}

TEST(DefaultApps, CandidatesFromManifests)
{
    PackageRoot root;
    root.add("so.vorn.browser", R"({"name": "Browser", "entrypoint": {"gui": "bin/browser"},
                                    "kinds": ["mime:text/html", "scheme:https", "scheme:https", "MIME:Bad", 7]})");
    root.add("org.other.web", R"({"name": "Browser", "entrypoint": {"gui": "bin/web"}, "kinds": ["mime:text/html"]})");
    root.add("so.vorn.mail", R"({"id": "so.vorn.mail-app", "entrypoint": {"gui": "bin/mail"},
                                 "kinds": ["scheme:mailto"]})");
    root.add("so.vorn.cli", R"({"name": "Tool", "entrypoint": {"cli": "bin/tool"}, "kinds": ["mime:text/plain"]})");
    root.add("so.vorn.escape", R"({"name": "Escape", "entrypoint": {"gui": "../x"}, "kinds": ["mime:text/plain"]})");
    root.add("so.vorn.broken", R"({"name": "Broken", "entrypoint": {"gui": "bin/b"}, "kinds": "mime:text/plain"})");
    root.add("so.vorn.garbled", "{not json");

    const auto apps = root.apps();
    // Sorted by name, then id; the command-line tool, the escaping entry point and the unreadable manifests are
    // not offered.
    EXPECT_EQ(ids(apps), (std::vector<std::string>{"org.other.web", "so.vorn.browser", "so.vorn.mail-app"}));
    EXPECT_EQ(apps[1].kinds, (std::vector<std::string>{"mime:text/html", "scheme:https"}));
    EXPECT_EQ(apps[2].name, "Mail app");
    EXPECT_EQ(kinds(apps), (std::vector<std::string>{"mime:text/html", "scheme:https", "scheme:mailto"}));
    EXPECT_EQ(ids(candidates(apps, "mime:text/html")), (std::vector<std::string>{"org.other.web", "so.vorn.browser"}));
    EXPECT_TRUE(candidates(apps, "mime:text/plain").empty());
}

TEST(DefaultApps, Resolve)
{
    const std::vector<AppCandidate> apps{
        {"a.browser", "A Browser", {"mime:text/html"}},
        {"b.browser", "B Browser", {"mime:text/html", "scheme:https"}},
        {"mail", "Mail", {"scheme:mailto"}},
    };
    const PersonalDefaults none;
    const PersonalDefaults personal({{"mime:text/html", "b.browser"}, {"scheme:mailto", "a.browser"}});
    const PersonalDefaults workspace({{"mime:text/html", "a.browser"}, {"scheme:https", "gone"}});
    struct Case {
        std::string kind;
        const PersonalDefaults* personal;
        const PersonalDefaults* workspace;
        std::optional<std::string> expected;
    };
    for (const auto& c : std::vector<Case>{
             {"mime:text/html", &none, nullptr, "a.browser"},          // no default: the first candidate
             {"mime:text/html", &personal, nullptr, "b.browser"},      // the personal default
             {"mime:text/html", &personal, &workspace, "a.browser"},   // the workspace wins
             {"scheme:https", &personal, &workspace, "b.browser"},     // a workspace app not installed is passed over
             {"scheme:mailto", &personal, nullptr, "mail"},            // a default that cannot open the kind
             {"mime:image/png", &personal, nullptr, std::nullopt},     // no candidate
         }) {
        const auto app = DefaultAppResolver::resolve(c.kind, apps, *c.personal, c.workspace);
        EXPECT_EQ(app ? std::optional(app->id) : std::nullopt, c.expected) << c.kind;
    }
}

TEST(DefaultApps, DisplayLabels)
{
    for (const auto& [kind, label] : std::vector<std::pair<std::string, std::string>>{
             {"mime:text/html", "Web pages"},
             {"scheme:mailto", "Email links"},
             {"mime:image/x-portable-anymap", "PORTABLE-ANYMAP files"},
             {"mime:application/epub+zip", "EPUB+ZIP files"},
             {"scheme:gemini", "Gemini links"},
         }) {
        EXPECT_EQ(ResourceKind{kind}.display_label(), label);
    }
}

TEST(PersonalDefaults, SetRefusesWhatCannotOpenTheKind)
{
    const std::vector<AppCandidate> apps{{"web", "Web", {"mime:text/html"}}, {"mail", "Mail", {"scheme:mailto"}}};
    PersonalDefaults defaults;
    EXPECT_TRUE(defaults.set("mime:text/html", "web", apps).has_value());
    EXPECT_FALSE(defaults.set("mime:text/html", "mail", apps).has_value());
    EXPECT_FALSE(defaults.set("mime:text/html", "gone", apps).has_value());
    EXPECT_FALSE(defaults.set("text/html", "web", apps).has_value());
    EXPECT_EQ(defaults.get("mime:text/html"), "web");
}

// Saving writes only the kinds this record changed, so a default another process saved meanwhile stays; members
// of the file it does not know stay as they are; invalid entries are not read.
TEST(PersonalDefaults, SaveKeepsWhatOthersWrote)
{
    test_buses::TempDir dir("vorn_default_apps");
    const fs::path file = dir.path() / "settings.json";
    std::ofstream(file) << R"({"theme": {"x": 1}, "default_apps": {"mime:text/html": "web", "scheme:mailto": "mail",
                              "bad kind": "web", "scheme:tel": "bad id!"}})";
    PersonalDefaults defaults = PersonalDefaults::load(file);
    EXPECT_EQ(defaults.by_kind(), (std::map<std::string, std::string>{{"mime:text/html", "web"},
                                                                      {"scheme:mailto", "mail"}}));

    ASSERT_TRUE(config_sections::update_json_file(file, [](config_sections::Json& root) {
                    root["default_apps"]["scheme:mailto"] = "other-mail";
                }).has_value());
    const std::vector<AppCandidate> apps{{"web2", "Web 2", {"mime:text/html"}}};
    ASSERT_TRUE(defaults.set("mime:text/html", "web2", apps).has_value());
    ASSERT_TRUE(defaults.save(file).has_value());

    const auto root = config_sections::read_json_object(file);
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ((*root)["default_apps"]["mime:text/html"], "web2");
    EXPECT_EQ((*root)["default_apps"]["scheme:mailto"], "other-mail");
    EXPECT_EQ((*root)["theme"]["x"], 1);
    EXPECT_EQ(PersonalDefaults::load(file).get("mime:text/html"), "web2");
}

TEST(PersonalDefaults, FailedSaveSaysWhy)
{
    test_buses::TempDir dir("vorn_default_apps");
    std::ofstream(dir.path() / "not-a-folder") << "x";
    PersonalDefaults defaults;
    ASSERT_TRUE(defaults.set("mime:text/html", "web", std::vector<AppCandidate>{{"web", "Web", {"mime:text/html"}}}));
    const auto saved = defaults.save(dir.path() / "not-a-folder" / "settings.json");
    ASSERT_FALSE(saved.has_value());
    EXPECT_FALSE(saved.error().empty());
}

}  // namespace
}  // namespace desk_rules::defaults
