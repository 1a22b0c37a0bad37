// Where provider tokens live: one credential-store item per profile, addressed by a service text and
// the profile id in lower case. Tokens never enter the profiles document or any diagnostic line.
// Any thread may call; calls may block on the desktop's secret service or the disk.
#pragma once

#include "VedevaveApp/Providers/ProviderUUID.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace Platform {
class CredentialStore;
}

namespace VedevaveApp {

class AIProviderCredentialError : public std::exception {
public:
    enum class Kind { keychain, invalidTokenEncoding, unexpectedData };

    // The credential store failed; `message` is its own text.
    static AIProviderCredentialError keychain(const std::string& message);
    static AIProviderCredentialError invalidTokenEncoding() { return {Kind::invalidTokenEncoding, ""}; }
    static AIProviderCredentialError unexpectedData() { return {Kind::unexpectedData, ""}; }

    Kind kind() const { return kind_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    AIProviderCredentialError(Kind kind, const std::string& message);
    Kind kind_;
    std::string description_;
};

// Token storage keyed by profile id. Every operation may throw AIProviderCredentialError.
class AIProviderCredentialStoring {
public:
    virtual ~AIProviderCredentialStoring() = default;
    virtual std::optional<std::string> token(const ProviderUUID& id) = 0; // nothing when none is stored
    virtual void setToken(const std::string& token, const ProviderUUID& id) = 0;
    virtual void removeToken(const ProviderUUID& id) = 0; // removing a missing token succeeds
};

// The platform credential store (Secret Service, else a private file) under one service text.
class AIProviderKeychain final : public AIProviderCredentialStoring {
public:
    static constexpr const char* defaultService = "app.vedevave.ai-provider-token";

    AIProviderKeychain(std::string service, std::shared_ptr<Platform::CredentialStore> store);

    std::optional<std::string> token(const ProviderUUID& id) override;
    void setToken(const std::string& token, const ProviderUUID& id) override;
    void removeToken(const ProviderUUID& id) override;

private:
    std::string service_;
    std::shared_ptr<Platform::CredentialStore> store_;
};

} // namespace VedevaveApp
