#include "panes/agent_models/agent_models_text.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace settings::panes::agent_models {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ModelKeys, KeepPlainIdsAndTellEveryOtherIdApart)
{
    EXPECT_EQ(local_model_key("Llama8B"), "Llama8B");
    EXPECT_EQ(local_model_key("llama-3.1"), "llama_2d3_2e1");
    EXPECT_EQ(local_model_key("a_b"), "a__b");
    EXPECT_EQ(local_model_key("é"), "_c3_a9");
    EXPECT_EQ(local_model_flag_key("llama-3.1", LocalModelAction::Stop), "agent_models.local.llama_2d3_2e1.stop");
    EXPECT_EQ(local_model_button_id("phi", LocalModelAction::Start), "agent-models-start-agent_models.local.phi.start");

    // Ids that a plain "anything else becomes _" rule would merge.
    const std::vector<std::string> ids = {"a-b", "a.b", "a_b", "a b", "a__b", "a_2db", "a_2d", "a", "a.", "a..",
                                          "a\xff", "a\xc3\xa9", "a\xc3", "_", "__", ""};
    std::set<std::string> keys;
    for (const auto& id : ids) {
        const auto key = local_model_key(id);
        EXPECT_EQ(key.find('.'), std::string::npos) << id;
        EXPECT_TRUE(keys.insert(key).second) << "\"" << id << "\" shares its key " << key;
    }
}

TEST(LocalModelActions, FollowThePhase)
{
    using A = LocalModelAction;
    EXPECT_THAT(local_model_actions(lm::Downloading{}), IsEmpty());
    EXPECT_THAT(local_model_actions(lm::Installing{}), IsEmpty());
    EXPECT_THAT(local_model_actions(lm::Ready{.running = false}), ElementsAre(A::Start, A::Remove));
    EXPECT_THAT(local_model_actions(lm::Ready{.running = true}), ElementsAre(A::Stop, A::Remove));
    EXPECT_THAT(local_model_actions(lm::Failed{}), ElementsAre(A::Retry, A::Remove));

    std::vector<std::pair<std::string_view, std::string_view>> names;
    for (const auto action : all_local_model_actions) {
        names.emplace_back(local_model_action_name(action), local_model_action_label(action));
    }
    EXPECT_THAT(names, ElementsAre(std::pair{"start", "Start"}, std::pair{"stop", "Stop"},
                                   std::pair{"remove", "Remove…"}, std::pair{"retry", "Retry install"}));
}

TEST(AgentModelLabels, SizesBadgesAndProviderTexts)
{
    EXPECT_EQ(format_gib(4831838208ULL), "4.5 GiB");
    EXPECT_EQ(format_gib(0), "0.0 GiB");
    EXPECT_EQ(format_gib(1ULL << 30), "1.0 GiB");

    EXPECT_EQ(accelerator_badge(lm::AcceleratorState::Available), "Ready to set up");
    EXPECT_EQ(accelerator_badge(lm::AcceleratorState::Queued), "Queued");
    EXPECT_EQ(accelerator_badge(lm::AcceleratorState::Staging), "Staging");
    EXPECT_EQ(accelerator_badge(lm::AcceleratorState::RestartRequired), "Restart required");
    EXPECT_EQ(accelerator_badge(lm::AcceleratorState::Active), "Active");
    EXPECT_EQ(accelerator_badge(lm::AcceleratorState::Error), "Needs attention");

    using model_providers::ProviderKind;
    using model_providers::ProviderProtocol;
    EXPECT_EQ(protocol_button_label(ProviderProtocol::OpenAiCompatible), "Use Anthropic");
    EXPECT_EQ(protocol_button_label(ProviderProtocol::Anthropic), "Use OpenAI-compatible");
    EXPECT_EQ(kind_label(ProviderKind::Hosted), "Hosted provider");
    EXPECT_EQ(kind_label(ProviderKind::ThisDevice), "This device (local)");
    EXPECT_EQ(kind_label(ProviderKind::PrivateNetwork), "Private network");
    EXPECT_EQ(provider_control_id("set-api-key", "anthropic-1"), "agent-models-set-api-key-anthropic-1");
    EXPECT_EQ(validation_caption("Lab has no endpoint address"), "Provider configuration: Lab has no endpoint address");
}

}  // namespace
}  // namespace settings::panes::agent_models
