// The per-user preference store: typed values under text keys. The process uses one shared store,
// a JSON file under the config folder; tests install their own. Any thread may call.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace Platform {

class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;

    virtual std::optional<nlohmann::json> value(const std::string& key) = 0;
    virtual void setValue(const std::string& key, const nlohmann::json& value) = 0;
    virtual void removeValue(const std::string& key) = 0;

    // Typed reads: nothing when the key is absent or holds another type.
    std::optional<bool> boolValue(const std::string& key);
    std::optional<int64_t> integerValue(const std::string& key);
    std::optional<std::string> stringValue(const std::string& key);

    // The process's store: a FilePreferenceStore at "<config>/preferences.json" unless replaced.
    static PreferenceStore& shared();
    static void setShared(std::shared_ptr<PreferenceStore> store);
};

// Values kept in memory only (tests, and a fallback when the config folder cannot be written).
class MemoryPreferenceStore final : public PreferenceStore {
public:
    std::optional<nlohmann::json> value(const std::string& key) override;
    void setValue(const std::string& key, const nlohmann::json& value) override;
    void removeValue(const std::string& key) override;

private:
    std::mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object(); // guarded by mutex_
};

// A JSON object in one file. Writes replace the file atomically (temporary file, then rename), so a
// reader in any process sees either the old or the new document; read-modify-write cycles from
// several processes are serialised by a lock file. Reads notice changes made by other processes.
// A file that cannot be parsed is treated as empty and moved aside (never overwritten), with one
// diagnostic line naming where it went.
class FilePreferenceStore final : public PreferenceStore {
public:
    explicit FilePreferenceStore(std::filesystem::path file);

    std::optional<nlohmann::json> value(const std::string& key) override;
    void setValue(const std::string& key, const nlohmann::json& value) override;
    void removeValue(const std::string& key) override;

    const std::filesystem::path& file() const { return file_; }

private:
    struct Identity {
        bool exists = false;
        int64_t modifiedNs = 0;
        uint64_t size = 0;
        uint64_t inode = 0;
        bool operator==(const Identity&) const = default;
    };

    void refreshLocked();
    void writeLocked();
    void mutate(const std::string& key, const std::optional<nlohmann::json>& value);
    Identity currentIdentity() const;

    std::filesystem::path file_;
    std::mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object(); // guarded by mutex_
    std::optional<Identity> loaded_;                   // guarded by mutex_
};

} // namespace Platform
