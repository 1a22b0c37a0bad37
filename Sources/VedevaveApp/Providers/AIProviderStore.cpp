#include "VedevaveApp/Providers/AIProviderStore.h"

#include "Platform/CredentialStore.h"
#include "Platform/PreferenceStore.h"
#include "Runtime/Executors.h"
#include "Runtime/Log.h"
#include "VedevaveApp/Providers/ProviderJSON.h"
#include "VedevaveApp/Providers/ProviderText.h"

namespace VedevaveApp {

namespace {

using Json = nlohmann::json;

// Nothing when the stored value is not a readable document with at least one profile.
std::optional<AIProviderStore::PersistedState> decodeState(const Json& stored) {
    try {
        // Written as a JSON object; a JSON text in a string is read as well.
        const Json document = stored.is_string() ? ProviderJSON::parse(stored.get<std::string>()) : stored;
        if (!document.is_object() || !document.contains("schemaVersion") ||
            !document["schemaVersion"].is_number_integer() || !document.contains("profiles") ||
            !document["profiles"].is_array()) {
            return std::nullopt;
        }
        AIProviderStore::PersistedState state;
        for (const auto& profile : document["profiles"]) {
            state.profiles.push_back(AIProviderProfile::fromJSON(profile));
        }
        if (auto selected = document.find("selectedProfileID");
            selected != document.end() && !selected->is_null()) {
            if (!selected->is_string()) {
                return std::nullopt;
            }
            state.selectedProfileID = ProviderUUID::parse(selected->get<std::string>());
            if (!state.selectedProfileID) {
                return std::nullopt;
            }
        }
        if (state.profiles.empty()) {
            return std::nullopt;
        }
        return state;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Json encodeState(const AIProviderStore::PersistedState& state) {
    auto profiles = Json::array();
    for (const auto& profile : state.profiles) {
        profiles.push_back(profile.toJSON());
    }
    Json document = {{"profiles", std::move(profiles)}, {"schemaVersion", 1}};
    if (state.selectedProfileID) {
        document["selectedProfileID"] = state.selectedProfileID->text();
    }
    return document;
}

} // namespace

AIProviderStore::AIProviderStore(Platform::PreferenceStore& defaults,
                                 std::shared_ptr<AIProviderCredentialStoring> credentials,
                                 std::string storageKey)
    : defaults_(defaults), credentials_(std::move(credentials)), storageKey_(std::move(storageKey)) {}

std::shared_ptr<AIProviderStore>
AIProviderStore::create(Platform::PreferenceStore& defaults,
                        std::shared_ptr<AIProviderCredentialStoring> credentials, std::string storageKey) {
    std::shared_ptr<AIProviderStore> store(
        new AIProviderStore(defaults, std::move(credentials), std::move(storageKey)));
    store->load();
    return store;
}

AIProviderStore& AIProviderStore::shared() {
    static const std::shared_ptr<AIProviderStore> store =
        create(Platform::PreferenceStore::shared(),
               std::make_shared<AIProviderKeychain>(AIProviderKeychain::defaultService,
                                                    Platform::CredentialStore::makeDefault()));
    return *store;
}

void AIProviderStore::load() {
    const auto stored = defaults_.value(storageKey_);
    if (stored) {
        if (auto state = decodeState(*stored)) {
            state_ = std::move(*state);
            return;
        }
        // Keep what could not be read instead of losing it to the default.
        defaults_.setValue(storageKey_ + ".unreadable", *stored);
        Runtime::logLine(
            "Vedevave: the AI provider settings could not be read; starting with LM Studio (the old "
            "value is kept under \"" +
            storageKey_ + ".unreadable\")");
    }
    AIProviderProfile first = AIProviderProfile::withDefaults(AIProviderPreset::lmStudio);
    state_.profiles = {first};
    state_.selectedProfileID = first.id;
    std::lock_guard lock(lock_);
    persistLocked();
}

void AIProviderStore::persistLocked() {
    try {
        defaults_.setValue(storageKey_, encodeState(state_));
    } catch (const std::exception& error) {
        // The change stays in memory for this run.
        Runtime::logLine(std::string("Vedevave: could not save the AI provider settings: ") + error.what());
    }
}

std::vector<AIProviderProfile> AIProviderStore::profiles() const {
    std::lock_guard lock(lock_);
    return state_.profiles;
}

std::optional<AIProviderProfile> AIProviderStore::selectedProfileLocked() const {
    if (!state_.selectedProfileID) {
        return std::nullopt;
    }
    for (const auto& profile : state_.profiles) {
        if (profile.id == *state_.selectedProfileID) {
            return profile;
        }
    }
    return std::nullopt;
}

std::optional<AIProviderProfile> AIProviderStore::selectedProfile() const {
    std::lock_guard lock(lock_);
    return selectedProfileLocked();
}

uint64_t AIProviderStore::revision() const {
    std::lock_guard lock(lock_);
    return revision_;
}

std::optional<AIProviderStoredSelection> AIProviderStore::selectedRuntimeSelection() {
    std::lock_guard mutation(mutationLock_);
    auto profile = selectedProfile();
    if (!profile) {
        return std::nullopt;
    }
    auto token = credentials_->token(profile->id);
    return AIProviderStoredSelection{std::move(*profile), std::move(token), revision()};
}

AIProviderProfile AIProviderStore::upsert(const AIProviderProfile& profile,
                                          const AIProviderTokenUpdate& tokenUpdate, bool select) {
    AIProviderProfile stored = profile.sanitized();
    {
        std::lock_guard mutation(mutationLock_);
        stored.validate();
        switch (tokenUpdate.kind) {
        case AIProviderTokenUpdate::Kind::keep:
            break;
        case AIProviderTokenUpdate::Kind::remove:
            credentials_->removeToken(stored.id);
            break;
        case AIProviderTokenUpdate::Kind::replace: {
            const std::string token = ProviderText::trimmed(tokenUpdate.token);
            if (token.empty()) {
                credentials_->removeToken(stored.id);
            } else {
                credentials_->setToken(token, stored.id);
            }
            break;
        }
        }
        std::lock_guard lock(lock_);
        auto existing =
            std::find_if(state_.profiles.begin(), state_.profiles.end(),
                         [&](const AIProviderProfile& candidate) { return candidate.id == stored.id; });
        if (existing != state_.profiles.end()) {
            *existing = stored;
        } else {
            state_.profiles.push_back(stored);
        }
        if (select || !state_.selectedProfileID) {
            state_.selectedProfileID = stored.id;
        }
        ++revision_;
        persistLocked();
    }
    postChangeNotification();
    return stored;
}

void AIProviderStore::postChangeNotification() {
    if (Runtime::isOnMainThread()) {
        deliverChange();
        return;
    }
    Runtime::postToMain([weak = weak_from_this()] {
        if (auto store = weak.lock()) {
            store->deliverChange();
        }
    });
}

void AIProviderStore::deliverChange() {
    std::vector<std::function<void()>> observers;
    {
        std::lock_guard lock(observersLock_);
        for (const auto& [id, observer] : observers_) {
            observers.push_back(observer);
        }
    }
    for (const auto& observer : observers) {
        observer();
    }
}

AIProviderStore::Subscription AIProviderStore::observeChanges(std::function<void()> observer) {
    std::lock_guard lock(observersLock_);
    const uint64_t id = nextObserverID_++;
    observers_[id] = std::move(observer);
    return Subscription(weak_from_this(), id);
}

AIProviderStore::Subscription& AIProviderStore::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        store_ = std::move(other.store_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void AIProviderStore::Subscription::reset() {
    if (auto store = store_.lock()) {
        std::lock_guard lock(store->observersLock_);
        store->observers_.erase(id_);
    }
    store_.reset();
    id_ = 0;
}

} // namespace VedevaveApp
