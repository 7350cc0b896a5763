#include "system_ops/local_models.hpp"

#include "cmd_runner/fake_runner.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>

namespace system_ops::local_models {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Json = nlohmann::ordered_json;

// A snapshot with every member, in the shape the manager prints.
Json full_snapshot()
{
    Json package = {{"id", "qwen-7b"},
                    {"name", "Qwen 7B"},
                    {"description", "A compact model for tool use."},
                    {"source", "https://models.vorn.example/qwen-7b"},
                    {"revision", "r3"},
                    {"license", "Apache-2.0"},
                    {"license_url", "https://www.apache.org/licenses/LICENSE-2.0"},
                    {"download_bytes", 4831838208ULL},
                    {"installed_bytes", 5368709120ULL},
                    {"vision", true},
                    {"face_recognition", false}};
    Json llama = package;
    llama["id"] = "llama-8b";
    llama["name"] = "Llama 8B";
    return {{"hardware",
             {{"fit", "good"},
              {"memory_gib", 32},
              {"accelerator", "Radeon 780M"},
              {"accelerator_memory_gib", 8},
              {"free_storage_gib", 120},
              {"reason", "Balanced for everyday tool use."}}},
            {"recommendation", package},
            {"models",
             {{{"package", llama},
               {"phase",
                {{"state", "ready"},
                 {"endpoint", {{"url", "http://127.0.0.1:8000/v1"}, {"model_id", "llama-8b"}}},
                 {"running", true}}}},
              {{"package", package}, {"phase", {{"state", "downloading"}, {"downloaded_bytes", 10}, {"total_bytes", 40}}}},
              {{"package", package}, {"phase", {{"state", "installing"}, {"percent", 40}, {"message", "Verifying"}}}},
              {{"package", package}, {"phase", {{"state", "error"}, {"message", "checksum mismatch"}}}}}},
            {"accelerator_setup", {{"boot_pack_id", "amd-rocm-6.1"}, {"status", {{"state", "available"}}}}}};
}

TEST(SnapshotDecoder, ReadsEveryMemberOfAFullSnapshot)
{
    const auto snapshot = decode_snapshot(full_snapshot().dump());
    ASSERT_TRUE(snapshot) << snapshot.error();
    EXPECT_EQ(snapshot->hardware, (HardwareRecommendation{.fit = HardwareFit::Good,
                                                          .memory_gib = 32,
                                                          .accelerator = "Radeon 780M",
                                                          .accelerator_memory_gib = 8,
                                                          .free_storage_gib = 120,
                                                          .reason = "Balanced for everyday tool use."}));
    ASSERT_TRUE(snapshot->recommendation);
    EXPECT_EQ(snapshot->recommendation->id, "qwen-7b");
    EXPECT_EQ(snapshot->recommendation->revision, "r3");
    EXPECT_EQ(snapshot->recommendation->download_bytes, 4831838208ULL);
    EXPECT_TRUE(snapshot->recommendation->vision);
    ASSERT_EQ(snapshot->models.size(), 4U);
    EXPECT_EQ(snapshot->models[0].phase,
              LocalModelPhase(Ready{.endpoint = LocalModelEndpoint{"http://127.0.0.1:8000/v1", "llama-8b"}, .running = true}));
    EXPECT_EQ(snapshot->models[1].phase, LocalModelPhase(Downloading{10, 40}));
    EXPECT_EQ(snapshot->models[2].phase, LocalModelPhase(Installing{40, "Verifying"}));
    EXPECT_EQ(snapshot->models[3].phase, LocalModelPhase(Failed{"checksum mismatch"}));
    EXPECT_EQ(snapshot->accelerator_setup, (AcceleratorSetup{"amd-rocm-6.1", AcceleratorState::Available, ""}));
    EXPECT_EQ(snapshot->find("llama-8b"), &snapshot->models[0]);
    EXPECT_EQ(snapshot->find("nothing"), nullptr);
}

struct DecodeCase {
    std::string name;
    std::function<void(Json&)> change;
    // Empty: the snapshot decodes (and `check` looks at it); otherwise a part of the error.
    std::string error;
    std::function<void(const LocalModelSnapshot&)> check = {};
};

Json& package_of(Json& s) { return s["recommendation"]; }
Json& phase_of(Json& s, int i) { return s["models"][i]["phase"]; }

TEST(SnapshotDecoder, AbsentNullWrongTypeUnknownTagAndUnknownMembers)
{
    const std::vector<DecodeCase> cases = {
        // Absent members: optional ones are none, defaulted ones take their default, required ones fail.
        {"optional members absent",
         [](Json& s) {
             s.erase("recommendation");
             s.erase("accelerator_setup");
             s["hardware"].erase("accelerator_memory_gib");
             s["hardware"].erase("free_storage_gib");
             phase_of(s, 2).erase("percent");
             phase_of(s, 0).erase("endpoint");
         },
         "",
         [](const LocalModelSnapshot& s) {
             EXPECT_FALSE(s.recommendation);
             EXPECT_FALSE(s.accelerator_setup);
             EXPECT_FALSE(s.hardware.accelerator_memory_gib);
             EXPECT_FALSE(s.hardware.free_storage_gib);
             EXPECT_EQ(s.models[2].phase, LocalModelPhase(Installing{std::nullopt, "Verifying"}));
             // Running without an endpoint: shown as running, never registered as a provider.
             EXPECT_EQ(s.models[0].phase, LocalModelPhase(Ready{std::nullopt, true}));
         }},
        {"models absent", [](Json& s) { s.erase("models"); }, "",
         [](const LocalModelSnapshot& s) { EXPECT_TRUE(s.models.empty()); }},
        {"vision flags absent",
         [](Json& s) {
             package_of(s).erase("vision");
             package_of(s).erase("face_recognition");
         },
         "",
         [](const LocalModelSnapshot& s) {
             EXPECT_FALSE(s.recommendation->vision);
             EXPECT_FALSE(s.recommendation->face_recognition);
         }},
        {"hardware absent", [](Json& s) { s.erase("hardware"); }, "missing field `hardware`"},
        {"installed_bytes absent", [](Json& s) { package_of(s).erase("installed_bytes"); },
         "missing field `installed_bytes`"},
        {"running absent", [](Json& s) { phase_of(s, 0).erase("running"); }, "missing field `running`"},
        {"state absent", [](Json& s) { phase_of(s, 1).erase("state"); }, "missing field `state`"},
        {"error message absent", [](Json& s) { s["accelerator_setup"]["status"] = {{"state", "error"}}; },
         "missing field `message`"},
        // Null: an optional member reads as none; a member with a default or a required one fails.
        {"optional members null",
         [](Json& s) {
             s["recommendation"] = nullptr;
             s["accelerator_setup"] = nullptr;
             s["hardware"]["free_storage_gib"] = nullptr;
             phase_of(s, 0)["endpoint"] = nullptr;
         },
         "",
         [](const LocalModelSnapshot& s) {
             EXPECT_FALSE(s.recommendation);
             EXPECT_FALSE(s.accelerator_setup);
             EXPECT_FALSE(s.hardware.free_storage_gib);
         }},
        {"models null", [](Json& s) { s["models"] = nullptr; }, "invalid type: null"},
        {"vision null", [](Json& s) { package_of(s)["vision"] = nullptr; }, "invalid type: null"},
        {"hardware null", [](Json& s) { s["hardware"] = nullptr; }, "invalid type: null"},
        // Wrong types and values out of range.
        {"memory as text", [](Json& s) { s["hardware"]["memory_gib"] = "32"; }, "invalid type"},
        {"memory beyond 16 bits", [](Json& s) { s["hardware"]["memory_gib"] = 70000; }, "70000"},
        {"negative size", [](Json& s) { package_of(s)["download_bytes"] = -1; }, "-1"},
        {"fractional size", [](Json& s) { package_of(s)["installed_bytes"] = 1.5; }, "1.5"},
        {"percent beyond 8 bits", [](Json& s) { phase_of(s, 2)["percent"] = 300; }, "300"},
        {"running as text", [](Json& s) { phase_of(s, 0)["running"] = "yes"; }, "invalid type"},
        {"model list as object", [](Json& s) { s["models"] = Json::object(); }, "invalid type"},
        {"phase as text", [](Json& s) { s["models"][0]["phase"] = "ready"; }, "invalid type"},
        {"package in positional form", [](Json& s) { s["recommendation"] = Json::array({"qwen-7b"}); },
         "invalid type: sequence"},
        // Unknown tags.
        {"unknown phase", [](Json& s) { phase_of(s, 1)["state"] = "paused"; }, "unknown variant `paused`"},
        {"unknown accelerator state", [](Json& s) { s["accelerator_setup"]["status"]["state"] = "rebooting"; },
         "unknown variant `rebooting`"},
        {"unknown fit", [](Json& s) { s["hardware"]["fit"] = "superb"; }, "unknown variant `superb`"},
        {"state with another case", [](Json& s) { phase_of(s, 0)["state"] = "Ready"; }, "unknown variant `Ready`"},
        // Members this version does not know are ignored at every level.
        {"unknown members",
         [](Json& s) {
             s["schema"] = 2;
             s["hardware"]["npu"] = {{"tops", 50}};
             package_of(s)["sha256"] = "abc";
             s["models"][0]["pinned"] = true;
             phase_of(s, 0)["pid"] = 4242;
             s["accelerator_setup"]["status"]["eta"] = "soon";
         },
         "",
         [](const LocalModelSnapshot& s) { EXPECT_EQ(s.models.size(), 4U); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json json = full_snapshot();
        c.change(json);
        const auto snapshot = decode_snapshot(json.dump());
        if (c.error.empty()) {
            ASSERT_TRUE(snapshot) << snapshot.error();
            if (c.check) {
                c.check(*snapshot);
            }
        } else {
            ASSERT_FALSE(snapshot);
            EXPECT_THAT(snapshot.error(), HasSubstr(c.error));
        }
    }
}

TEST(SnapshotDecoder, RefusesWhatIsNoSnapshot)
{
    for (const std::string_view text : {"", "not json", "[]", "null", "{\"hardware\": {}}", "{} trailing"}) {
        EXPECT_FALSE(decode_snapshot(text)) << text;
    }
}

TEST(SnapshotDecoder, CleansTextsForTheUserAndKeepsIdentifiersExactly)
{
    Json json = full_snapshot();
    package_of(json)["name"] = "Qwen\x1b]0;owned\x07 7B\u202e";
    package_of(json)["description"] = std::string(5000, 'd');
    phase_of(json, 3)["message"] = "\x1b[31mchecksum\x1b[0m mismatch\r\n";
    package_of(json)["id"] = "qwen 7b\t";
    const auto snapshot = decode_snapshot(json.dump());
    ASSERT_TRUE(snapshot) << snapshot.error();
    EXPECT_EQ(snapshot->recommendation->name, "Qwen 7B");
    EXPECT_LE(snapshot->recommendation->description.size(), 2048U);
    EXPECT_EQ(snapshot->models[3].phase, LocalModelPhase(Failed{"checksum mismatch"}));
    EXPECT_EQ(snapshot->recommendation->id, "qwen 7b\t");
}

TEST(LocalModelLabels, PhasesProgressFitsAndTransitions)
{
    EXPECT_EQ(phase_label(Downloading{}), "Downloading");
    EXPECT_EQ(phase_label(Installing{}), "Installing");
    EXPECT_EQ(phase_label(Ready{.running = false}), "Ready");
    EXPECT_EQ(phase_label(Ready{.running = true}), "Running");
    EXPECT_EQ(phase_label(Failed{}), "Needs attention");

    EXPECT_EQ(progress(Downloading{25, 100}), 0.25);
    EXPECT_EQ(progress(Downloading{25, 0}), std::nullopt);  // total unknown
    EXPECT_EQ(progress(Downloading{150, 100}), 1.0);
    EXPECT_EQ(progress(Installing{40, ""}), 0.4);
    EXPECT_EQ(progress(Installing{250, ""}), 1.0);
    EXPECT_EQ(progress(Installing{std::nullopt, ""}), std::nullopt);
    EXPECT_EQ(progress(Ready{}), std::nullopt);

    EXPECT_EQ(fit_label(HardwareFit::Excellent), "Excellent fit");
    EXPECT_EQ(fit_label(HardwareFit::Good), "Good fit");
    EXPECT_EQ(fit_label(HardwareFit::Tight), "Will run, with limits");
    EXPECT_EQ(fit_label(HardwareFit::Unsupported), "Not enough memory");

    LocalModelSnapshot snapshot;
    EXPECT_FALSE(has_transitional_phase(snapshot));
    snapshot.models.push_back({{}, Ready{}});
    snapshot.accelerator_setup = AcceleratorSetup{"pack", AcceleratorState::RestartRequired, ""};
    EXPECT_FALSE(has_transitional_phase(snapshot));
    snapshot.accelerator_setup->state = AcceleratorState::Staging;
    EXPECT_TRUE(has_transitional_phase(snapshot));
    snapshot.accelerator_setup->state = AcceleratorState::Active;
    snapshot.models.push_back({{}, Installing{}});
    EXPECT_TRUE(has_transitional_phase(snapshot));
}

TEST(LocalModelLabels, InstallationMayStartOnASupportedDeviceWithItsAcceleratorReady)
{
    LocalModelSnapshot snapshot;
    EXPECT_FALSE(may_install(snapshot));  // nothing recommended
    snapshot.recommendation = LocalModelPackage{.id = "qwen-7b"};
    EXPECT_TRUE(may_install(snapshot));
    snapshot.hardware.fit = HardwareFit::Unsupported;
    EXPECT_FALSE(may_install(snapshot));
    snapshot.hardware.fit = HardwareFit::Tight;
    for (const auto state : {AcceleratorState::Available, AcceleratorState::Queued, AcceleratorState::Staging,
                             AcceleratorState::RestartRequired, AcceleratorState::Error}) {
        snapshot.accelerator_setup = AcceleratorSetup{"pack", state, ""};
        EXPECT_FALSE(may_install(snapshot)) << static_cast<int>(state);
    }
    snapshot.accelerator_setup->state = AcceleratorState::Active;
    EXPECT_TRUE(may_install(snapshot));
}

// ---- The commands ----------------------------------------------------------------------------------------------

TEST(ModelManagerCommands, EachOperationRunsItsCommandLineWithItsLimits)
{
    auto runner = std::make_shared<cmd_runner::FakeRunner>([](const cmd_runner::Command& command) {
        return cmd_runner::FakeRunner::exited(0, command.args.front() == "snapshot" ? full_snapshot().dump() : "");
    });
    ModelManagerBackend backend(runner);
    const LocalModelPackage package{.id = "qwen-7b", .revision = "r3"};
    ASSERT_TRUE(backend.snapshot());
    ASSERT_TRUE(backend.install(package));
    ASSERT_TRUE(backend.start("qwen-7b"));
    ASSERT_TRUE(backend.stop("qwen-7b"));
    ASSERT_TRUE(backend.remove("qwen-7b"));
    ASSERT_TRUE(backend.stage_accelerator());

    using std::chrono::seconds;
    const std::vector<std::pair<std::vector<std::string>, std::chrono::milliseconds>> expected = {
        {{"snapshot", "--format", "json"}, seconds(10)},
        {{"install", "--model", "qwen-7b", "--revision", "r3", "--accept-license"}, seconds(1800)},
        {{"start", "--model", "qwen-7b"}, seconds(600)},
        {{"stop", "--model", "qwen-7b"}, seconds(600)},
        {{"remove", "--model", "qwen-7b"}, seconds(600)},
        {{"stage-accelerator"}, seconds(1800)},
    };
    const auto calls = runner->calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].program, "vorn-model-manager");
        EXPECT_EQ(calls[i].args, expected[i].first);
        EXPECT_EQ(calls[i].time_limit, expected[i].second) << calls[i].args.front();
        EXPECT_EQ(calls[i].output_limit, 1024U * 1024U);
        EXPECT_FALSE(calls[i].input);
    }
}

class FakeManager : public system_ops::testing::FakeTools {
protected:
    // A manager that prints the given snapshots one after another, one per snapshot call (the last one again once
    // they are used up), and accepts every other command.
    void progressing_manager(const std::vector<std::string>& snapshots)
    {
        for (std::size_t i = 0; i < snapshots.size(); ++i) {
            write(dir_ / "snapshots" / std::to_string(i + 1), snapshots[i]);
        }
        const std::string counter = (dir_ / "count").string();
        const std::string script = "#!/bin/sh\n"
                                   "[ \"$1\" = snapshot ] || exit 0\n"
                                   "n=$(cat '" + counter + "' 2>/dev/null || echo 0)\n"
                                   "n=$((n + 1))\n"
                                   "echo $n > '" + counter + "'\n"
                                   "[ $n -gt " + std::to_string(snapshots.size()) + " ] && n=" +
                                   std::to_string(snapshots.size()) + "\n"
                                   "cat '" + (dir_ / "snapshots").string() + "/'$n\n";
        const auto file = dir_ / "bin" / "vorn-model-manager";
        write(file, script);
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    }
};

TEST_F(FakeManager, AMissingManagerMakesEveryOperationUnavailable)
{
    ::setenv("PATH", (dir_ / "bin").c_str(), 1);  // nothing but an empty folder (restored by the fixture)
    ModelManagerBackend backend;
    const std::vector<std::string> errors = {
        backend.snapshot().error(),
        backend.install({.id = "qwen-7b", .revision = "r3"}).error(),
        backend.start("qwen-7b").error(),
        backend.stop("qwen-7b").error(),
        backend.remove("qwen-7b").error(),
        backend.stage_accelerator().error(),
    };
    for (const auto& error : errors) {
        EXPECT_THAT(error, AllOf(StartsWith("model service is unavailable: "), HasSubstr("vorn-model-manager")));
    }
    EXPECT_EQ(local_model_snapshot().error(), errors.front());
}

TEST_F(FakeManager, ARefusalSaysWhatTheCommandWasAndTheSnapshotGivesItsCleanedReason)
{
    // Colours, a window title, a bell, a bidirectional override, and far more than fits a message.
    std::string err = "\x1b[1;31merror:\x1b[0m \x1b]0;pwned\x07model store locked\u202e\n\tby another process ";
    err += std::string(3000, 'x');
    tool("vorn-model-manager", {{"snapshot --format json", "{\"ignored\": true}", err, 3},
                                {"*", "output nobody reads", "some reason", 1}});
    ModelManagerBackend backend;

    const auto snapshot = backend.snapshot();
    ASSERT_FALSE(snapshot);
    const std::string& message = snapshot.error();
    EXPECT_THAT(message, StartsWith("error: model store locked\n\tby another process xxx"));
    EXPECT_LE(message.size(), 512U);
    for (const char c : message) {
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\t') << static_cast<int>(c);
    }
    EXPECT_THAT(message, Not(HasSubstr("pwned")));
    EXPECT_THAT(message, Not(HasSubstr("\u202e")));

    EXPECT_EQ(backend.install({.id = "qwen-7b", .revision = "r3"}).error(), "model service refused the installation");
    EXPECT_EQ(backend.start("qwen-7b").error(), "model service refused start");
    EXPECT_EQ(backend.stop("qwen-7b").error(), "model service refused stop");
    EXPECT_EQ(backend.remove("qwen-7b").error(), "model service refused remove");
    EXPECT_EQ(backend.stage_accelerator().error(), "accelerator setup service refused the request");
}

TEST_F(FakeManager, ASilentRefusalAndAnUnreadableAnswerStillSaySomething)
{
    tool("vorn-model-manager", {{"snapshot --format json", "", "", 4}});
    EXPECT_EQ(ModelManagerBackend().snapshot().error(), "vorn-model-manager ended with exit status 4");

    tool("vorn-model-manager", {{"snapshot --format json", "{\"hardware\": {\"fit\": \"good\"}}"}});
    EXPECT_EQ(ModelManagerBackend().snapshot().error(),
              "model service returned invalid status: missing field `memory_gib`");
}

TEST_F(FakeManager, AManagerThatHangsIsStoppedAtItsLimit)
{
    tool("vorn-model-manager", {{"*", "", "", 0, "sleep 30"}});
    ModelManagerBackend backend(cmd_runner::system_runner(), {.snapshot_limit = std::chrono::milliseconds(200),
                                                              .lifecycle_limit = std::chrono::milliseconds(200)});
    EXPECT_THAT(backend.snapshot().error(), StartsWith("model service is unavailable: "));
    EXPECT_THAT(backend.start("qwen-7b").error(), StartsWith("model service is unavailable: "));
}

TEST_F(FakeManager, ProgressIsReadAcrossRefreshes)
{
    auto at = [](const char* phase) {
        Json json = full_snapshot();
        json["models"] = Json::array({{{"package", package_of(json)}, {"phase", Json::parse(phase)}}});
        return json.dump();
    };
    progressing_manager({at(R"({"state": "downloading", "downloaded_bytes": 0, "total_bytes": 0})"),
                         at(R"({"state": "downloading", "downloaded_bytes": 512, "total_bytes": 2048})"),
                         at(R"({"state": "installing", "message": "Verifying signatures"})"),
                         at(R"({"state": "installing", "percent": 80, "message": "Unpacking"})"),
                         at(R"({"state": "ready", "running": false})")});
    ModelManagerBackend backend;
    std::vector<std::string> seen;
    for (int i = 0; i < 6; ++i) {
        const auto snapshot = backend.snapshot();
        ASSERT_TRUE(snapshot) << snapshot.error();
        const auto& phase = snapshot->models.at(0).phase;
        const auto fraction = progress(phase);
        seen.push_back(fmt::format("{} {} {}", phase_label(phase), fraction ? fmt::format("{:.2f}", *fraction) : "-",
                                   is_transitional(phase)));
    }
    EXPECT_THAT(seen, ElementsAre("Downloading - true", "Downloading 0.25 true", "Installing - true",
                                  "Installing 0.80 true", "Ready - false", "Ready - false"));
}

}  // namespace
}  // namespace system_ops::local_models
