// The configured provider profiles, which one is selected, and a revision counter that tells readers
// whether anything changed. Profiles persist as one JSON document in the preference store; tokens
// live only in the credential store, one item per profile. One shared store serves the application:
// the provider settings write through `upsert`, provider resolution reads `selectedRuntimeSelection`.
//
// Any thread may call. Whole operations (`upsert`, `selectedRuntimeSelection`) are serialised by
// `mutationLock_`, which is held across their credential-store calls and always taken before
// `lock_`; `lock_` only guards the document and the revision. Change observers run on the main
// executor.
#pragma once

#include "VedevaveApp/Providers/AIProviderKeychain.h"
#include "VedevaveApp/Providers/AIProviderProfile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Platform {
class PreferenceStore;
}

namespace VedevaveApp {

struct AIProviderStoredSelection {
    AIProviderProfile profile;
    std::optional<std::string> token;
    uint64_t revision = 0;
};

struct AIProviderTokenUpdate {
    enum class Kind { keep, remove, replace };
    Kind kind = Kind::keep;
    std::string token; // replace only

    static AIProviderTokenUpdate keep() { return {Kind::keep, {}}; }
    static AIProviderTokenUpdate remove() { return {Kind::remove, {}}; }
    static AIProviderTokenUpdate replace(std::string token) { return {Kind::replace, std::move(token)}; }
    bool operator==(const AIProviderTokenUpdate&) const = default;
};

class AIProviderStore : public std::enable_shared_from_this<AIProviderStore> {
public:
    static constexpr const char* didChangeNotification = "Vedevave.AIProviderStoreDidChange";
    static constexpr const char* defaultStorageKey = "Vedevave.AIProviderProfiles.v1";

    // Reads the document under `storageKey`; an unreadable or empty one is replaced at once by a
    // single selected "LM Studio" profile (the old value is kept under "<storageKey>.unreadable").
    // `defaults` must outlive the store.
    static std::shared_ptr<AIProviderStore> create(Platform::PreferenceStore& defaults,
                                                   std::shared_ptr<AIProviderCredentialStoring> credentials,
                                                   std::string storageKey = defaultStorageKey);
    // The process's store over the shared preference store and the platform credential store.
    static AIProviderStore& shared();

    std::vector<AIProviderProfile> profiles() const;
    // The profile whose id is selected; nothing when none is selected or the id matches none.
    std::optional<AIProviderProfile> selectedProfile() const;
    // The selected profile with its token and the revision it was read at. Throws
    // AIProviderCredentialError when the token cannot be read.
    std::optional<AIProviderStoredSelection> selectedRuntimeSelection();
    // Sanitizes, validates and stores a profile, replacing one with the same id in place or
    // appending it, and applies the token update. Throws AIProviderProfileError or
    // AIProviderCredentialError; then nothing has changed. Returns the stored profile.
    AIProviderProfile upsert(const AIProviderProfile& profile, const AIProviderTokenUpdate& tokenUpdate,
                             bool select);
    // Starts at 0 in every run; one more for each stored change.
    uint64_t revision() const;

    // Observers run on the main executor after every successful upsert (at once when it happened
    // there). Destroying the subscription ends the observation.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(std::weak_ptr<AIProviderStore> store, uint64_t id) : store_(std::move(store)), id_(id) {}
        Subscription(Subscription&& other) noexcept { *this = std::move(other); }
        Subscription& operator=(Subscription&& other) noexcept;
        ~Subscription() { reset(); }
        void reset();

    private:
        std::weak_ptr<AIProviderStore> store_;
        uint64_t id_ = 0;
    };
    [[nodiscard]] Subscription observeChanges(std::function<void()> observer);

    struct PersistedState {
        std::vector<AIProviderProfile> profiles;
        std::optional<ProviderUUID> selectedProfileID;
    };

private:
    AIProviderStore(Platform::PreferenceStore& defaults,
                    std::shared_ptr<AIProviderCredentialStoring> credentials, std::string storageKey);
    void load();
    void persistLocked();
    void postChangeNotification();
    void deliverChange();
    std::optional<AIProviderProfile> selectedProfileLocked() const;

    Platform::PreferenceStore& defaults_;
    std::shared_ptr<AIProviderCredentialStoring> credentials_;
    const std::string storageKey_;

    std::mutex mutationLock_;
    mutable std::mutex lock_;
    PersistedState state_;  // guarded by lock_
    uint64_t revision_ = 0; // guarded by lock_

    std::mutex observersLock_;
    std::map<uint64_t, std::function<void()>> observers_; // guarded by observersLock_
    uint64_t nextObserverID_ = 1;                         // guarded by observersLock_
};

} // namespace VedevaveApp
