#include "Platform/CredentialStore.h"
#include "Platform/PreferenceStore.h"
#include "ProviderTestSupport.h"
#include "Runtime/Executors.h"
#include "VedevaveApp/Providers/AIProviderEditingRules.h"
#include "VedevaveApp/Providers/AIProviderStore.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace VedevaveApp;
using namespace ProviderTests;
using nlohmann::json;

namespace {

// Tokens in memory, with a switch that makes every call fail like a locked keyring.
class MemoryCredentials final : public AIProviderCredentialStoring {
public:
    std::optional<std::string> token(const ProviderUUID& id) override {
        failIfAsked();
        auto found = tokens.find(id.text());
        return found == tokens.end() ? std::nullopt : std::optional(found->second);
    }
    void setToken(const std::string& token, const ProviderUUID& id) override {
        failIfAsked();
        tokens[id.text()] = token;
    }
    void removeToken(const ProviderUUID& id) override {
        failIfAsked();
        tokens.erase(id.text());
    }
    std::map<std::string, std::string> tokens;
    bool isFailing = false;

private:
    void failIfAsked() const {
        if (isFailing) {
            throw AIProviderCredentialError::keychain("the collection is locked");
        }
    }
};

const std::string key = AIProviderStore::defaultStorageKey;

AIProviderProfile remoteProfile(const std::string& name) {
    auto profile = AIProviderProfile::withDefaults(AIProviderPreset::openAICompatible);
    profile.name = name;
    profile.baseURL = "https://models.example.com/v1";
    profile.model = "m";
    return profile;
}

class StoreTest : public ::testing::Test {
protected:
    std::shared_ptr<AIProviderStore> makeStore() { return AIProviderStore::create(defaults, credentials); }

    // Delivers the change notifications queued for the main executor.
    void deliverNotifications() {
        Runtime::mainContext().restart();
        Runtime::mainContext().poll();
    }

    Platform::MemoryPreferenceStore defaults;
    std::shared_ptr<MemoryCredentials> credentials = std::make_shared<MemoryCredentials>();
};

} // namespace

TEST_F(StoreTest, FirstStartWritesOneSelectedLMStudioProfile) {
    auto store = makeStore();
    const auto selection = store->selectedRuntimeSelection();
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->profile.name, "LM Studio");
    EXPECT_EQ(selection->profile.baseURL, "http://127.0.0.1:1234/v1");
    EXPECT_EQ(selection->profile.reasoningEffort, AIReasoningEffort::none);
    EXPECT_EQ(selection->token, std::nullopt);
    EXPECT_EQ(selection->revision, 0u);

    const auto stored = defaults.value(key);
    ASSERT_TRUE(stored);
    EXPECT_EQ((*stored)["schemaVersion"], 1);
    EXPECT_EQ((*stored)["selectedProfileID"], selection->profile.id.text());
    // A second start reads the same document back.
    EXPECT_EQ(makeStore()->selectedProfile(), selection->profile);
}

TEST_F(StoreTest, UnreadableDocumentsAreReplacedButKept) {
    const json unreadable[] = {
        json::parse(R"({"schemaVersion":1,"profiles":[]})"),
        json::parse(R"({"schemaVersion":1,"profiles":[{"preset":"ollama"}]})"),
        json::parse(R"({"profiles":[{}]})"),
        "not json at all",
    };
    for (const auto& document : unreadable) {
        defaults.setValue(key, document);
        auto store = makeStore();
        ASSERT_EQ(store->profiles().size(), 1u) << document;
        EXPECT_EQ(store->profiles()[0].name, "LM Studio");
        EXPECT_EQ(defaults.value(key + ".unreadable"), document);
    }
    // A readable document whose selection names no profile keeps that: nothing is substituted.
    defaults.setValue(key, json::parse(R"({"schemaVersion":1,"profiles":[{"name":"A"}],
        "selectedProfileID":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f"})"));
    auto store = makeStore();
    EXPECT_EQ(store->profiles()[0].name, "A");
    EXPECT_EQ(store->selectedProfile(), std::nullopt);
    EXPECT_EQ(store->selectedRuntimeSelection(), std::nullopt);
}

TEST_F(StoreTest, UpsertPositionsSelectionRevisionAndOneNotificationEach) {
    auto store = makeStore();
    int notifications = 0;
    auto subscription = store->observeChanges([&] { ++notifications; });
    const auto first = store->profiles()[0];

    const auto added = store->upsert(remoteProfile("  Remote  "), AIProviderTokenUpdate::keep(), false);
    EXPECT_EQ(added.name, "Remote"); // stored sanitized
    EXPECT_EQ(store->selectedProfile()->id, first.id);
    auto edited = first;
    edited.model = "qwen";
    store->upsert(edited, AIProviderTokenUpdate::keep(), false);
    auto profiles = store->profiles();
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].model, "qwen"); // replaced in place
    EXPECT_EQ(profiles[1].id, added.id);

    store->upsert(added, AIProviderTokenUpdate::keep(), true);
    EXPECT_EQ(store->selectedProfile()->id, added.id);
    EXPECT_EQ(store->revision(), 3u);
    EXPECT_EQ(notifications, 0); // delivered on the main executor
    deliverNotifications();
    EXPECT_EQ(notifications, 3);

    // The document on disk matches, and a new start reads it.
    auto reopened = makeStore();
    EXPECT_EQ(reopened->profiles(), store->profiles());
    EXPECT_EQ(reopened->revision(), 0u);

    subscription.reset();
    store->upsert(added, AIProviderTokenUpdate::keep(), true);
    deliverNotifications();
    EXPECT_EQ(notifications, 3);
}

TEST_F(StoreTest, NothingIsSelectedYetSoTheNewProfileIs) {
    auto lone = remoteProfile("Lone");
    defaults.setValue(key, json{{"schemaVersion", 1}, {"profiles", json::array({lone.toJSON()})}});
    auto store = makeStore();
    ASSERT_EQ(store->selectedProfile(), std::nullopt);
    const auto added = store->upsert(remoteProfile("Other"), AIProviderTokenUpdate::keep(), false);
    EXPECT_EQ(store->selectedProfile()->id, added.id);
}

TEST_F(StoreTest, TokenUpdates) {
    auto store = makeStore();
    auto profile = store->profiles()[0];
    store->upsert(profile, AIProviderTokenUpdate::replace("  sk-1  "), true);
    EXPECT_EQ(credentials->tokens.at(profile.id.text()), "sk-1");
    EXPECT_EQ(store->selectedRuntimeSelection()->token, "sk-1");
    store->upsert(profile, AIProviderTokenUpdate::keep(), true);
    EXPECT_EQ(credentials->tokens.count(profile.id.text()), 1u);
    store->upsert(profile, AIProviderTokenUpdate::replace("   "), true);
    EXPECT_EQ(credentials->tokens.count(profile.id.text()), 0u);
    EXPECT_NO_THROW(store->upsert(profile, AIProviderTokenUpdate::remove(), true)); // nothing to remove
    // Tokens never enter the document.
    store->upsert(profile, AIProviderTokenUpdate::replace("sk-secret"), true);
    EXPECT_EQ(defaults.value(key)->dump().find("sk-secret"), std::string::npos);
}

TEST_F(StoreTest, FailedUpsertsChangeNothing) {
    auto store = makeStore();
    auto profile = store->profiles()[0];
    store->upsert(profile, AIProviderTokenUpdate::replace("sk-1"), true);
    const auto document = defaults.value(key);
    const auto revision = store->revision();

    auto unnamed = profile;
    unnamed.name = " ";
    try {
        store->upsert(unnamed, AIProviderTokenUpdate::replace("sk-2"), true);
        ADD_FAILURE();
    } catch (const AIProviderProfileError& error) {
        EXPECT_EQ(error.description(), "Enter a provider name of 80 characters or fewer.");
    }
    credentials->isFailing = true;
    try {
        store->upsert(remoteProfile("New"), AIProviderTokenUpdate::replace("sk-3"), true);
        ADD_FAILURE();
    } catch (const AIProviderCredentialError& error) {
        EXPECT_EQ(error.description(), "Credential store error: the collection is locked");
    }
    EXPECT_THROW(store->selectedRuntimeSelection(), AIProviderCredentialError);
    credentials->isFailing = false;
    EXPECT_EQ(credentials->tokens.at(profile.id.text()), "sk-1");
    EXPECT_EQ(defaults.value(key), document);
    EXPECT_EQ(store->revision(), revision);
}

TEST(AIProviderEditingRules, TokenFollowsTheOrigin) {
    using namespace AIProviderEditingRules;
    const std::string saved = "http://127.0.0.1:1234/v1";
    EXPECT_EQ(origin("HTTP://LocalHost/v1/"), "http://localhost:80");
    EXPECT_EQ(origin("https://Host.example"), "https://host.example:443");
    EXPECT_EQ(origin("not a url"), std::nullopt);
    EXPECT_TRUE(haveSameOrigin("nonsense", "also nonsense"));

    const TokenField untouched;
    const std::pair<std::string, AIProviderTokenUpdate> saves[] = {
        {"http://127.0.0.1:1234/v2", AIProviderTokenUpdate::keep()},    // same origin, other path
        {"http://127.0.0.1:1235/v1", AIProviderTokenUpdate::remove()},  // port changed
        {"https://127.0.0.1:1234/v1", AIProviderTokenUpdate::remove()}, // scheme changed
        {"http://localhost:1234/v1", AIProviderTokenUpdate::remove()},  // host changed
    };
    for (const auto& [draft, expected] : saves) {
        EXPECT_EQ(tokenUpdateForSave(untouched, true, draft, saved), expected) << draft;
    }
    EXPECT_EQ(tokenUpdateForSave(untouched, false, "https://elsewhere", saved),
              AIProviderTokenUpdate::keep());
    EXPECT_EQ(tokenUpdateForSave({true, " sk-2 "}, true, "https://elsewhere", saved),
              AIProviderTokenUpdate::replace("sk-2"));
    EXPECT_EQ(tokenUpdateForSave({true, "  "}, true, saved, saved), AIProviderTokenUpdate::remove());

    EXPECT_EQ(tokenForConnectionTest(untouched, "sk-1", saved + "/", saved), "sk-1");
    EXPECT_EQ(tokenForConnectionTest(untouched, "sk-1", "http://127.0.0.1:9/v1", saved), std::nullopt);
    EXPECT_EQ(tokenForConnectionTest({true, " "}, "sk-1", saved, saved), std::nullopt);
    EXPECT_EQ(tokenForConnectionTest({true, " sk-new "}, "sk-1", "https://elsewhere", saved), "sk-new");
}

TEST(AIProviderEditingRules, PresetChangesAndSaveChecks) {
    using namespace AIProviderEditingRules;
    auto draft = AIProviderProfile::withDefaults(AIProviderPreset::lmStudio);
    draft.model = "qwen";
    draft.allowsScreenshots = true;
    auto switched = applyingPresetChange(draft, AIProviderPreset::openAICompatible);
    EXPECT_EQ(switched.name, "OpenAI-compatible");
    EXPECT_EQ(switched.baseURL, "");
    EXPECT_EQ(switched.reasoningEffort, AIReasoningEffort::providerDefault);
    EXPECT_EQ(switched.model, "");
    EXPECT_FALSE(switched.allowsScreenshots);
    draft.name = "My box";
    draft.baseURL = "http://127.0.0.1:9999/v1";
    draft.reasoningEffort = AIReasoningEffort::high;
    switched = applyingPresetChange(draft, AIProviderPreset::openAICompatible);
    EXPECT_EQ(switched.name, "My box");
    EXPECT_EQ(switched.baseURL, "http://127.0.0.1:9999/v1");
    EXPECT_EQ(switched.reasoningEffort, AIReasoningEffort::high);

    EXPECT_EQ(presetChangeTokenStatus({}, true, "", "http://127.0.0.1:1234/v1"),
              std::string(blockedTokenText));
    EXPECT_EQ(presetChangeTokenStatus({}, false, "", "http://127.0.0.1:1234/v1"), std::nullopt);

    auto remote = remoteProfile("Cloud");
    remote.model = "";
    EXPECT_EQ(checkBeforeSaving(remote, std::nullopt).message, modelRequiredText);
    remote.model = "gpt";
    remote.baseURL = "http://models.example.com";
    EXPECT_EQ(checkBeforeSaving(remote, std::nullopt).message,
              "Remote AI providers must use HTTPS. Plain HTTP is allowed only on loopback.");
    remote.baseURL = "https://models.example.com/v1";
    remote.allowsScreenshots = true;
    const auto question = checkBeforeSaving(remote, std::nullopt);
    EXPECT_EQ(question.kind, SaveCheck::Kind::needsScreenshotConsent);
    EXPECT_EQ(question.message, "Send iPhone screenshots to a remote provider?");
    EXPECT_EQ(question.informativeText,
              "Screen contents may include private notifications, messages, or account "
              "information. Only continue if you trust Cloud.");
    EXPECT_EQ(checkBeforeSaving(remote, remote).kind, SaveCheck::Kind::ready); // already agreed for this URL
    auto moved = remote;
    moved.baseURL = "https://other.example.com/v1";
    EXPECT_EQ(checkBeforeSaving(moved, remote).kind, SaveCheck::Kind::needsScreenshotConsent);
    auto local = AIProviderProfile::withDefaults(AIProviderPreset::lmStudio);
    local.model = "qwen";
    local.allowsScreenshots = true;
    EXPECT_EQ(checkBeforeSaving(local, std::nullopt).kind, SaveCheck::Kind::ready);
    local.baseURL = "http://127.0.0.2:1234/v1"; // loopback, but not one of the three local names
    EXPECT_EQ(checkBeforeSaving(local, std::nullopt).kind, SaveCheck::Kind::needsScreenshotConsent);
}

TEST(FileCredentialStore, PrivateFileReplacedAtomically) {
    TemporaryHome home;
    const auto folder = home.path / "data" / "vedevave" / "credentials";
    AIProviderKeychain keychain("app.vedevave.ai-provider-token",
                                std::make_shared<Platform::FileCredentialStore>(folder));
    const auto id = ProviderUUID::random();
    EXPECT_EQ(keychain.token(id), std::nullopt);
    EXPECT_NO_THROW(keychain.removeToken(id));
    keychain.setToken("sk-1", id);
    keychain.setToken("sk-2", id);
    EXPECT_EQ(keychain.token(id), "sk-2");

    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((folder / "tokens.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Only the document and the lock file: no temporary file is left behind.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++entries;
    }
    EXPECT_EQ(entries, 2u);

    // Loosened permissions are tightened again; the account is the id in lower case.
    ::chmod(folder.c_str(), 0755);
    keychain.setToken("sk-3", id);
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    const auto document = json::parse(std::ifstream(folder / "tokens.json"));
    EXPECT_EQ(document["app.vedevave.ai-provider-token"][id.text()], "sk-3");

    keychain.removeToken(id);
    EXPECT_EQ(keychain.token(id), std::nullopt);
    EXPECT_THROW(keychain.setToken("bad \xff", id), AIProviderCredentialError);
}

TEST(FileCredentialStore, DamagedFileIsMovedAsideOnWrite) {
    TemporaryHome home;
    const auto folder = home.path / "credentials";
    Platform::FileCredentialStore store(folder);
    store.write("s", "a", "one");
    std::ofstream(folder / "tokens.json") << "{ broken";
    EXPECT_THROW(store.read("s", "a"), Platform::CredentialStoreError);
    store.write("s", "a", "two");
    EXPECT_EQ(store.read("s", "a"), "two");
    EXPECT_TRUE(std::filesystem::exists(folder / "tokens.json.damaged"));
}

TEST(SecretServiceCredentialStore, StoresReadsAndRemovesItems) {
    if (!Platform::secretServiceAnswers(std::chrono::seconds(3))) {
        if (std::getenv("VEDEVAVE_REQUIRE_SECRET_SERVICE")) {
            FAIL() << "no Secret Service answered on the session bus";
        }
        GTEST_SKIP() << "no Secret Service answers on the session bus";
    }
    AIProviderKeychain keychain("app.vedevave.ai-provider-token.test",
                                std::make_shared<Platform::SecretServiceCredentialStore>());
    const auto id = ProviderUUID::random();
    EXPECT_EQ(keychain.token(id), std::nullopt);
    keychain.setToken("sk-keyring-1", id);
    keychain.setToken("sk-keyring-2", id);
    EXPECT_EQ(keychain.token(id), "sk-keyring-2");
    keychain.removeToken(id);
    EXPECT_EQ(keychain.token(id), std::nullopt);
    EXPECT_NO_THROW(keychain.removeToken(id));
}
