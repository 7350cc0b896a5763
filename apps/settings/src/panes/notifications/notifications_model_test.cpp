#include "panes/notifications/notifications_model.hpp"

#include "panes/preference_pane/testing.hpp"
#include "prefs/settings_file.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::notifications {
namespace {

using page_doc::doc_bool;
using page_doc::doc_text;

constexpr std::int64_t start_time = 1'800'000'000;

nlohmann::json stored(const testing::TempConfig& home) { return nlohmann::json::parse(home.read_settings()); }

// A model over the settings file of `home`, with a clock the test moves.
struct Fixture {
    testing::TempConfig home;
    std::int64_t now = start_time;
    page_doc::Document doc;
    std::optional<NotificationsModel> model;

    void open(std::vector<app_catalog::NamedApp> apps = {{"org.example.Chat", "Chat"}})
    {
        model.emplace(prefs::load_settings_file().notifications, std::move(apps), [this] { return now; });
        model->sync(doc);
    }
};

TEST(NotificationsModel, SeedsEveryKeyFromTheFile)
{
    Fixture f;
    f.home.write_settings(R"({"notifications": {"show_banners": false, "focus": {"start_minute": 1439,
        "end_minute": 1260, "weekdays": 127}, "per_app": {"org.example.Chat": {"previews": true,
        "priority": true, "muted_until": 1800003000}}}})");
    // Left by an earlier visit: not the user's choice.
    f.doc.put_bool("notifications.do_not_disturb", true);
    f.doc.put_bool("notifications.do_not_disturb.edit", true);
    f.open();

    EXPECT_EQ(doc_bool(f.doc, "notifications.do_not_disturb"), false);
    EXPECT_EQ(doc_bool(f.doc, "notifications.do_not_disturb.edit"), false);
    EXPECT_EQ(doc_bool(f.doc, "notifications.show_banners.edit"), false);
    EXPECT_EQ(doc_text(f.doc, "notifications.focus.start"), "23:00");
    EXPECT_EQ(doc_text(f.doc, "notifications.focus.end.edit"), "20:00");
    EXPECT_EQ(doc_text(f.doc, "notifications.focus.days"), "Every day");
    // Per application: the rule where it has one, the global choice where it is silent.
    EXPECT_EQ(doc_bool(f.doc, "notifications.app.org.example.Chat.banners"), false);
    EXPECT_EQ(doc_bool(f.doc, "notifications.app.org.example.Chat.previews"), true);
    EXPECT_EQ(doc_bool(f.doc, "notifications.app.org.example.Chat.priority"), true);
    EXPECT_EQ(doc_bool(f.doc, "notifications.app.org.example.Chat.priority_contacts"), false);
    EXPECT_EQ(doc_text(f.doc, "notifications.app.org.example.Chat.mute"), "For 1 hour");
    // Nothing changed: nothing written.
    EXPECT_FALSE(f.model->sync(f.doc));
    EXPECT_EQ(stored(f.home)["notifications"].value("do_not_disturb", false), false);
}

// The text protocol: a change from outside wins, an edit is sent and taken, an edit equal to the value is nothing,
// and a text that is no label changes nothing.
TEST(NotificationsModel, TextProtocol)
{
    Fixture f;
    f.open();
    struct Step {
        std::string_view what;
        std::string_view key;
        std::string_view text;
        bool changed;
        std::uint16_t start;
        std::uint8_t days;
    };
    const std::vector<Step> steps{
        {"edit sent", "notifications.focus.start.edit", "20:00", true, 1200, 0},
        {"no-op", "notifications.focus.start.edit", "20:00", false, 1200, 0},
        {"outside change wins", "notifications.focus.start", "06:00", true, 360, 0},
        {"unknown edit", "notifications.focus.start.edit", "6 am", false, 360, 0},
        {"unknown outside text", "notifications.focus.start", "noon", false, 360, 0},
        {"days edit", "notifications.focus.days.edit", "Weekends", true, 360, 96},
        {"days from outside", "notifications.focus.days", "Weekdays", true, 360, 31},
    };
    for (const auto& step : steps) {
        f.doc.put_str(step.key, step.text);
        EXPECT_EQ(f.model->sync(f.doc), step.changed) << step.what;
        EXPECT_EQ(f.model->prefs().focus.start_minute, step.start) << step.what;
        EXPECT_EQ(f.model->prefs().focus.weekdays, step.days) << step.what;
        // Both keys show the value in force afterwards.
        EXPECT_EQ(doc_text(f.doc, "notifications.focus.start"), doc_text(f.doc, "notifications.focus.start.edit"))
            << step.what;
    }
    EXPECT_EQ(stored(f.home)["notifications"]["focus"]["start_minute"], 360);
    EXPECT_EQ(stored(f.home)["notifications"]["focus"]["weekdays"], 31);
}

TEST(NotificationsModel, SwitchingDoNotDisturbSendsTheSettingAndSaves)
{
    Fixture f;
    f.open();
    f.doc.put_bool("notifications.do_not_disturb.edit", true);
    EXPECT_TRUE(f.model->sync(f.doc));
    EXPECT_TRUE(f.model->prefs().do_not_disturb);
    EXPECT_EQ(doc_bool(f.doc, "notifications.do_not_disturb"), true);  // the set-setting action wrote it
    ASSERT_TRUE(f.model->host().last_action().has_value());
    EXPECT_EQ(stored(f.home)["notifications"]["do_not_disturb"], true);
    // Every listed application has a rule once saved.
    EXPECT_TRUE(stored(f.home)["notifications"]["per_app"].contains("org.example.Chat"));
}

// An edit whose action was not applied is not taken: the record and the file keep the value in force and the
// control shows it again.
TEST(NotificationsModel, AFailedDispatchIsNotAdopted)
{
    Fixture f;
    f.open();
    f.model->set_dispatch([](page_doc::Document&, const actions::SettingsAction&) { return false; });
    f.doc.put_bool("notifications.show_banners.edit", false);
    f.doc.put_str("notifications.focus.end.edit", "09:00");
    EXPECT_FALSE(f.model->sync(f.doc));
    EXPECT_TRUE(f.model->prefs().show_banners);
    EXPECT_EQ(f.model->prefs().focus.end_minute, 420);
    EXPECT_EQ(doc_bool(f.doc, "notifications.show_banners.edit"), true);
    EXPECT_EQ(doc_text(f.doc, "notifications.focus.end.edit"), "07:00");
    EXPECT_FALSE(std::filesystem::exists(f.home.settings_file()));
}

TEST(NotificationsModel, PerApplicationToggles)
{
    Fixture f;
    f.open({{"org.example.Chat", "Chat"}, {"bad id", "Bad"}});
    ASSERT_EQ(f.model->apps().size(), 1u);  // an invalid id gets no row and no keys
    EXPECT_FALSE(doc_bool(f.doc, "notifications.app.bad id.banners").has_value());

    f.doc.put_bool("notifications.app.org.example.Chat.banners", false);
    f.doc.put_bool("notifications.app.org.example.Chat.priority_contacts", true);
    EXPECT_TRUE(f.model->sync(f.doc));
    const auto& rule = f.model->prefs().per_app.at("org.example.Chat");
    EXPECT_EQ(rule.banners, false);
    EXPECT_EQ(rule.previews, std::nullopt);  // untouched: the global choice still applies
    EXPECT_TRUE(rule.priority_contacts);
    EXPECT_FALSE(f.model->effective("org.example.Chat", "banners"));
    EXPECT_TRUE(f.model->effective("org.example.Chat", "previews"));
    EXPECT_EQ(stored(f.home)["notifications"]["per_app"]["org.example.Chat"]["banners"], false);

    // The same value again is no change.
    EXPECT_FALSE(f.model->sync(f.doc));
}

// An application whose rule is silent on banners shows the global choice, also after it changed; one with its own
// choice keeps it.
TEST(NotificationsModel, SilentRulesFollowTheGlobalChoice)
{
    Fixture f;
    f.open({{"org.example.Chat", "Chat"}, {"org.example.Mail", "Mail"}});
    f.doc.put_bool("notifications.app.org.example.Mail.banners", false);
    EXPECT_TRUE(f.model->sync(f.doc));

    f.doc.put_bool("notifications.show_banners.edit", false);
    EXPECT_TRUE(f.model->sync(f.doc));
    EXPECT_EQ(doc_bool(f.doc, "notifications.app.org.example.Chat.banners"), false);
    EXPECT_EQ(f.model->prefs().per_app.at("org.example.Chat").banners, std::nullopt);

    f.doc.put_bool("notifications.show_banners.edit", true);
    EXPECT_TRUE(f.model->sync(f.doc));
    EXPECT_EQ(doc_bool(f.doc, "notifications.app.org.example.Chat.banners"), true);
    EXPECT_EQ(doc_bool(f.doc, "notifications.app.org.example.Mail.banners"), false);
    EXPECT_FALSE(f.model->sync(f.doc));
}

TEST(NotificationsModel, MuteWithATestClock)
{
    Fixture f;
    f.open();
    const std::string key = "notifications.app.org.example.Chat.mute";
    EXPECT_EQ(doc_text(f.doc, key), "Not muted");

    f.doc.put_str(key, "For 8 hours");
    EXPECT_TRUE(f.model->sync(f.doc));
    EXPECT_EQ(f.model->prefs().per_app.at("org.example.Chat").muted_until, start_time + 28800);
    EXPECT_EQ(stored(f.home)["notifications"]["per_app"]["org.example.Chat"]["muted_until"], start_time + 28800);

    // Chosen again without another change: nothing happens, even later.
    f.now += 600;
    f.doc.put_str(key, "For 8 hours");
    EXPECT_FALSE(f.model->sync(f.doc));
    EXPECT_EQ(f.model->prefs().per_app.at("org.example.Chat").muted_until, start_time + 28800);

    f.doc.put_str(key, "For a week");  // no label: nothing
    EXPECT_FALSE(f.model->sync(f.doc));

    f.doc.put_str(key, "Not muted");
    EXPECT_TRUE(f.model->sync(f.doc));
    EXPECT_EQ(f.model->prefs().per_app.at("org.example.Chat").muted_until, std::nullopt);

    // A new visit after the mute ended shows "Not muted".
    f.doc.put_str(key, "For 1 hour");
    EXPECT_TRUE(f.model->sync(f.doc));
    f.now += 3601;
    Fixture later;
    later.home.write_settings(f.home.read_settings());
    later.now = f.now;
    later.open();
    EXPECT_EQ(doc_text(later.doc, key), "Not muted");
}

TEST(NotificationsModel, AFailedSaveIsKeptAndShown)
{
    Fixture f;
    f.open();
    // The configuration folder is a file: nothing can be written under it.
    std::filesystem::create_directories(f.home.root());
    std::ofstream(f.home.root() / "config") << "x";
    f.doc.put_bool("notifications.show_badges.edit", false);
    EXPECT_TRUE(f.model->sync(f.doc));
    EXPECT_FALSE(f.model->prefs().show_badges);
    ASSERT_TRUE(f.model->save_error().has_value());
    EXPECT_NE(notifications_save_failed_text(*f.model->save_error()).find("could not be saved"), std::string::npos);
}

}  // namespace
}  // namespace settings::panes::notifications
