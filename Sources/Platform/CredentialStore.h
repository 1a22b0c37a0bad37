// Secrets of the application (model-server tokens), one item per (service, account). Two backends:
// the desktop's Secret Service through libsecret when one answers on the session bus, otherwise a
// JSON file readable only by the user (mode 0600 in a 0700 folder, replaced atomically). Secrets
// never appear in diagnostics. Any thread may call; calls may block briefly on the bus or the disk,
// so keep them off the main executor where a caller can.
#pragma once

#include <chrono>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace Platform {

class CredentialStoreError : public std::exception {
public:
    enum class Kind { failure, unexpectedData };
    CredentialStoreError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    Kind kind() const { return kind_; }
    // The backend's own message (for `failure`); never contains a secret.
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    Kind kind_;
    std::string message_;
};

class CredentialStore {
public:
    virtual ~CredentialStore() = default;

    // The secret, or nothing when there is no such item. Throws CredentialStoreError.
    virtual std::optional<std::string> read(const std::string& service, const std::string& account) = 0;
    // Creates or replaces the item. `secret` must be UTF-8 text. Throws CredentialStoreError.
    virtual void write(const std::string& service, const std::string& account, const std::string& secret) = 0;
    // Deletes the item; deleting a missing item succeeds. Throws CredentialStoreError.
    virtual void remove(const std::string& service, const std::string& account) = 0;
    // For diagnostics: "Secret Service" or the file's path.
    virtual std::string location() const = 0;

    // The Secret Service when it answers on the session bus within `probeTimeout`, else the file
    // "<data>/credentials/tokens.json". Writes one diagnostic line naming the choice.
    static std::shared_ptr<CredentialStore>
    makeDefault(std::chrono::milliseconds probeTimeout = std::chrono::seconds(3));
};

// True when a session bus exists and a Secret Service on it answers a ping. Never starts a bus.
bool secretServiceAnswers(std::chrono::milliseconds timeout);

class SecretServiceCredentialStore final : public CredentialStore {
public:
    std::optional<std::string> read(const std::string& service, const std::string& account) override;
    void write(const std::string& service, const std::string& account, const std::string& secret) override;
    void remove(const std::string& service, const std::string& account) override;
    std::string location() const override { return "Secret Service"; }
};

class FileCredentialStore final : public CredentialStore {
public:
    // `folder` is created (mode 0700) on the first write; its permissions are tightened if wider.
    explicit FileCredentialStore(std::filesystem::path folder);

    std::optional<std::string> read(const std::string& service, const std::string& account) override;
    void write(const std::string& service, const std::string& account, const std::string& secret) override;
    void remove(const std::string& service, const std::string& account) override;
    std::string location() const override { return file().string(); }

    std::filesystem::path file() const { return folder_ / "tokens.json"; }

private:
    struct Document;
    template <typename Change>
    void modify(Change change);

    std::filesystem::path folder_;
    std::mutex mutex_; // serialises this process's read-modify-write cycles; a lock file serialises processes
};

} // namespace Platform
