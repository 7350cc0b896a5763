// The Apps & Files model against a page document and a private settings file: the seed, the two directions of the
// setting protocol, texts that name no candidate, the choice already in force, and a save that fails.
#include "panes/personal_apps/personal_apps_model.hpp"

#include "panes/preference_pane/testing.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace settings::panes::personal_apps {
namespace {

namespace defaults = desk_rules::defaults;

constexpr std::string_view kind = "mime:text/html";
constexpr std::string_view key = "default_apps.mime.text/html";
const std::string atlas = "Atlas \u2014 org.example.atlas";
const std::string beacon = "Beacon \u2014 org.example.beacon";

std::vector<defaults::AppCandidate> apps()
{
    return {{"org.example.atlas", "Atlas", {"mime:text/html", "scheme:https"}},
            {"org.example.beacon", "Beacon", {"mime:text/html"}},
            {"org.example.mail", "Mail", {"scheme:mailto"}}};
}

std::string text_at(const page_doc::Document& doc, std::string_view k)
{
    return page_doc::doc_text(doc, k).value_or("<none>");
}

std::optional<std::string> stored_default(const testing::TempConfig& home)
{
    const auto text = home.read_settings();
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("default_apps")) {
        return std::nullopt;
    }
    return json["default_apps"].value(std::string(kind), std::string("<none>"));
}

TEST(PersonalAppsModel, KeysAndLabels)
{
    EXPECT_EQ(default_app_key("scheme:x-scheme-handler:web"), "default_apps.scheme.x-scheme-handler.web");
    EXPECT_EQ(control_id("scheme:mailto"), "personal-default.scheme:mailto");
    EXPECT_EQ(candidate_label(apps()[0]), atlas);
}

TEST(PersonalAppsModel, TheFirstSyncShowsTheChoiceInForceWhateverAnEarlierVisitLeft)
{
    testing::TempConfig home;
    home.write_settings(R"({"default_apps": {"mime:text/html": "org.example.beacon"}})");
    page_doc::Document doc;
    doc.put_str(std::string(key) + ".edit", atlas);  // left by an earlier visit
    PersonalAppsModel model(apps(), defaults::PersonalDefaults::load());
    EXPECT_FALSE(model.sync(doc));
    EXPECT_EQ(model.kinds(), (std::vector<std::string>{"mime:text/html", "scheme:https", "scheme:mailto"}));
    EXPECT_EQ(text_at(doc, key), beacon);
    EXPECT_EQ(text_at(doc, std::string(key) + ".edit"), beacon);
    // Without a personal default the first candidate is in force.
    EXPECT_EQ(text_at(doc, "default_apps.scheme.https"), atlas);
    EXPECT_EQ(text_at(doc, "default_apps.scheme.mailto"), "Mail \u2014 org.example.mail");
    EXPECT_FALSE(model.sync(doc)) << "a sync without a change changes nothing";
}

// One kind at a time, with no personal default stored before (the first visit): a choice in the drop-down is sent
// and saved; a change from outside wins; a text naming no candidate, or an application that cannot open the kind,
// leaves the choice in force; choosing what is in force writes nothing.
TEST(PersonalAppsModel, ProtocolTable)
{
    struct Case {
        const char* name;
        std::optional<std::string> setting;  // written at K before the sync
        std::optional<std::string> edit;     // written at K.edit before the sync
        bool changed;
        std::string shown;                  // K and K.edit after the sync
        std::optional<std::string> stored;  // default_apps[kind] in the file (none: no file written)
    };
    const std::vector<Case> cases = {
        {"choice sent", std::nullopt, beacon, true, beacon, "org.example.beacon"},
        {"outside change wins", beacon, atlas, true, beacon, "org.example.beacon"},
        {"no candidate", std::nullopt, "Gone \u2014 org.example.gone", false, atlas, std::nullopt},
        {"cannot open the kind", "Mail \u2014 org.example.mail", std::nullopt, false, atlas, std::nullopt},
        {"choice in force", std::nullopt, atlas, false, atlas, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempConfig home;
        page_doc::Document doc;
        PersonalAppsModel model(apps(), defaults::PersonalDefaults::load());
        model.sync(doc);
        if (c.setting) {
            doc.put_str(key, *c.setting);
        }
        if (c.edit) {
            doc.put_str(std::string(key) + ".edit", *c.edit);
        }
        EXPECT_EQ(model.sync(doc), c.changed);
        EXPECT_EQ(text_at(doc, key), c.shown);
        EXPECT_EQ(text_at(doc, std::string(key) + ".edit"), c.shown);
        EXPECT_EQ(model.in_force(kind), c.shown);
        EXPECT_EQ(stored_default(home), c.stored);
        EXPECT_FALSE(model.notice().has_value());
        EXPECT_FALSE(model.sync(doc));
    }
}

// The application the personal defaults hold already is not set or saved again.
TEST(PersonalAppsModel, ChoosingTheStoredDefaultWritesNothing)
{
    testing::TempConfig home;
    home.write_settings(R"({"default_apps": {"mime:text/html": "org.example.atlas"}})");
    page_doc::Document doc;
    PersonalAppsModel model(apps(), defaults::PersonalDefaults::load());
    model.sync(doc);
    doc.put_str(std::string(key) + ".edit", beacon);
    ASSERT_TRUE(model.sync(doc));
    home.write_settings(R"({"untouched": true})");
    doc.put_str(std::string(key) + ".edit", beacon);
    doc.put_str(key, beacon);
    EXPECT_FALSE(model.sync(doc));
    EXPECT_EQ(home.read_settings(), R"({"untouched": true})");
}

// A default that could not be saved is not shown as in force: both keys go back, the page says why.
TEST(PersonalAppsModel, AFailedSaveIsShownAsNotApplied)
{
    testing::TempConfig home;
    page_doc::Document doc;
    const std::filesystem::path blocked = home.root() / "blocked";
    std::ofstream(blocked) << "a file where a folder should be";
    PersonalAppsModel model(apps(), defaults::PersonalDefaults{}, blocked / "settings.json");
    model.sync(doc);
    doc.put_str(std::string(key) + ".edit", beacon);
    EXPECT_FALSE(model.sync(doc));
    EXPECT_EQ(text_at(doc, key), atlas);
    EXPECT_EQ(text_at(doc, std::string(key) + ".edit"), atlas);
    EXPECT_EQ(model.in_force(kind), atlas);
    EXPECT_FALSE(model.defaults().get(kind).has_value());
    ASSERT_TRUE(model.notice().has_value());
    EXPECT_TRUE(model.notice()->starts_with("Default apps could not be saved: ")) << *model.notice();
    EXPECT_EQ(model.notice()->find(blocked.string()), std::string::npos) << "no path shown: " << *model.notice();
}

}  // namespace
}  // namespace settings::panes::personal_apps
