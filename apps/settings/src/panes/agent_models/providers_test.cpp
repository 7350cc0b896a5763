#include "panes/agent_models/providers.hpp"

#include "panes/agent_models/agent_models_text.hpp"
#include "test_support/temp_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace settings::panes::agent_models {
namespace {

using model_providers::ModelDescriptor;
using model_providers::ProviderConfig;
using model_providers::ProviderKind;
using model_providers::ProviderProfile;
using model_providers::ProviderProtocol;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class ProviderFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProviderConfig config = ProviderConfig::load_from(stores_.config_file);
        ProviderProfile lab;
        lab.id = "lab";
        lab.label = "Lab server";
        lab.endpoint = "http://10.0.0.5:8000/v1";
        lab.kind = ProviderKind::PrivateNetwork;
        lab.models = {{.id = "qwen", .name = "Qwen"}};
        lab.default_model = "qwen";
        ProviderProfile anthropic = ProviderProfile::hosted(ProviderProtocol::Anthropic);
        anthropic.id = "anthropic-1";
        config.profiles = {anthropic, lab, ProviderProfile::local_vllm()};
        config.default_provider = "lab";
        ASSERT_TRUE(config.save());
    }

    ProviderConfig stored() const { return ProviderConfig::load_from(stores_.config_file); }
    const ProviderProfile& stored_lab()
    {
        config_ = stored();
        return *config_.find("lab");
    }

    test_support::ConfigHome home_;
    ProviderStores stores_{.config_file = home_.path() / "vorn" / "model-providers.json",
                           .key_directory = home_.path() / "keys"};
    ProviderConfig config_;
};

TEST_F(ProviderFiles, TheListLeavesOutTheLocalProfileAndSaysWhichHaveAKey)
{
    ASSERT_TRUE(stores_.keys()->set_api_key("anthropic-1", std::string("sk-ant-0001")));
    const auto listing = read_provider_listing(stores_);
    ASSERT_EQ(listing.providers.size(), 2U);
    EXPECT_EQ(listing.providers[0].profile.id, "anthropic-1");
    EXPECT_TRUE(listing.providers[0].key_stored);
    EXPECT_FALSE(listing.providers[0].is_default);
    EXPECT_EQ(listing.providers[1].profile.id, "lab");
    EXPECT_FALSE(listing.providers[1].key_stored);
    EXPECT_TRUE(listing.providers[1].is_default);
    EXPECT_TRUE(listing.validation_errors.empty()) << listing.validation_errors.front();

    // A key store that cannot be read counts as no key; a damaged configuration is reported below the list.
    test_support::write_file(stores_.key_directory / "api-keys.enc", "garbage");
    test_support::write_file(stores_.config_file, "[1, 2");
    const auto damaged = read_provider_listing(stores_);
    EXPECT_TRUE(damaged.providers.empty());
    ASSERT_FALSE(damaged.validation_errors.empty());
    EXPECT_THAT(damaged.validation_errors.front(), HasSubstr("model-providers.json"));
}

TEST_F(ProviderFiles, SavingDetailsSetsLabelEndpointAndModelAsTheForm)
{
    // An empty model field changes only the label and the endpoint.
    EXPECT_EQ(save_provider_details(stores_, "lab", "Lab GPU", "http://10.0.0.6:8000/v1", "  "),
              "Provider details saved.");
    EXPECT_EQ(stored_lab().label, "Lab GPU");
    EXPECT_EQ(stored_lab().endpoint, "http://10.0.0.6:8000/v1");
    EXPECT_EQ(stored_lab().default_model, "qwen");
    EXPECT_EQ(stored_lab().models.size(), 1U);

    // A listed model becomes the default without a second descriptor; a new one is added first.
    ASSERT_EQ(save_provider_details(stores_, "lab", "Lab GPU", "http://10.0.0.6:8000/v1", "qwen"),
              "Provider details saved.");
    EXPECT_EQ(stored_lab().models.size(), 1U);
    ASSERT_EQ(save_provider_details(stores_, "lab", "Lab GPU", "http://10.0.0.6:8000/v1", " llama-70b\n"),
              "Provider details saved.");
    EXPECT_EQ(stored_lab().default_model, "llama-70b");
    EXPECT_EQ(stored_lab().models.back(), (ModelDescriptor{.id = "llama-70b", .name = "llama-70b"}));

    EXPECT_EQ(save_provider_details(stores_, "gone", "x", "https://x.example/v1", ""), "Provider is no longer available.");
}

TEST_F(ProviderFiles, DetailsAreNeverSavedOverAConfigurationThatCannotBeRead)
{
    test_support::write_file(stores_.config_file, "{ damaged");
    EXPECT_THAT(save_provider_details(stores_, "lab", "Lab", "http://10.0.0.5:8000/v1", ""),
                StartsWith("Provider details were not saved: "));
    EXPECT_EQ(test_support::read_file(stores_.config_file), "{ damaged");
}

TEST_F(ProviderFiles, AKeyTakenFromItsFieldIsStoredAndTheFieldIsEmptiedWhateverTheOutcome)
{
    auto field = vorn_ui::LockedText::create("  sk-ant-secret-0002  ");
    EXPECT_EQ(save_api_key(stores_, "anthropic-1", WipedText::take_from(*field)), "API key saved in the Vorn vault.");
    EXPECT_TRUE(field->empty());
    const auto key = stores_.keys()->api_key("anthropic-1");
    ASSERT_TRUE(key && *key);
    EXPECT_EQ((*key)->view(), "sk-ant-secret-0002");

    field->set("two\nlines");
    EXPECT_THAT(save_api_key(stores_, "anthropic-1", WipedText::take_from(*field)),
                StartsWith("API key was not saved: "));
    EXPECT_TRUE(field->empty());
    EXPECT_EQ((*stores_.keys()->api_key("anthropic-1"))->view(), "sk-ant-secret-0002");

    EXPECT_EQ(remove_api_key(stores_, "anthropic-1"), "API key removed from the Vorn vault.");
    EXPECT_EQ(stores_.keys()->secret_configured("anthropic-1"), false);

    // A store that cannot be written says why.
    const ProviderStores unwritable{.config_file = stores_.config_file, .key_directory = "/proc/vorn-keys"};
    field->set("sk-0003");
    EXPECT_THAT(save_api_key(unwritable, "anthropic-1", WipedText::take_from(*field)),
                StartsWith("API key was not saved: "));
    EXPECT_TRUE(field->empty());
}

TEST(WipedTextTest, TakesTheWholeTextAndLeavesNothingBehindWhenMoved)
{
    auto field = vorn_ui::LockedText::create("secret");
    WipedText taken = WipedText::take_from(*field);
    EXPECT_TRUE(field->empty());
    EXPECT_EQ(taken.text(), "secret");
    WipedText moved = std::move(taken);
    EXPECT_EQ(moved.text(), "secret");
    EXPECT_TRUE(taken.text().empty());  // NOLINT(bugprone-use-after-move): the moved-from text is empty
}

TEST(ProviderDrafts, StartFromTheProfile)
{
    ProviderProfile profile = ProviderProfile::hosted(ProviderProtocol::Anthropic);
    auto draft = draft_of(profile);
    auto text = [](const vorn_ui::SharedLockedText& buffer) {
        std::string out;
        buffer->with_text([&](std::string_view value) { out = value; });
        return out;
    };
    EXPECT_EQ(text(draft.label), "Anthropic");
    EXPECT_EQ(text(draft.endpoint), "https://api.anthropic.com/v1");
    EXPECT_EQ(text(draft.model), "");
    profile.default_model = "claude";
    EXPECT_EQ(text(draft_of(profile).model), "claude");
}

}  // namespace
}  // namespace settings::panes::agent_models
