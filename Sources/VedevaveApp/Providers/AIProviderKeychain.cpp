#include "VedevaveApp/Providers/AIProviderKeychain.h"

#include "Platform/CredentialStore.h"
#include "VedevaveApp/Providers/ProviderText.h"

namespace VedevaveApp {

namespace {

template <typename Operation>
auto translatingErrors(Operation operation) {
    try {
        return operation();
    } catch (const Platform::CredentialStoreError& error) {
        if (error.kind() == Platform::CredentialStoreError::Kind::unexpectedData) {
            throw AIProviderCredentialError::unexpectedData();
        }
        throw AIProviderCredentialError::keychain(error.message());
    }
}

} // namespace

AIProviderCredentialError::AIProviderCredentialError(Kind kind, const std::string& message) : kind_(kind) {
    switch (kind) {
    case Kind::keychain:
        // Named after the store that holds the item here (Secret Service or the private file).
        description_ = "Credential store error: " + message;
        break;
    case Kind::invalidTokenEncoding:
        description_ = "The API token could not be encoded.";
        break;
    case Kind::unexpectedData:
        description_ = "Credential store returned an invalid API token.";
        break;
    }
}

AIProviderCredentialError AIProviderCredentialError::keychain(const std::string& message) {
    return {Kind::keychain, message.empty() ? std::string("unknown failure") : message};
}

AIProviderKeychain::AIProviderKeychain(std::string service, std::shared_ptr<Platform::CredentialStore> store)
    : service_(std::move(service)), store_(std::move(store)) {}

std::optional<std::string> AIProviderKeychain::token(const ProviderUUID& id) {
    return translatingErrors([&] { return store_->read(service_, id.text()); });
}

void AIProviderKeychain::setToken(const std::string& token, const ProviderUUID& id) {
    // Both backends keep text; a NUL would silently cut the token short.
    if (!ProviderText::isValidUTF8(token) || token.find('\0') != std::string::npos) {
        throw AIProviderCredentialError::invalidTokenEncoding();
    }
    translatingErrors([&] { store_->write(service_, id.text(), token); });
}

void AIProviderKeychain::removeToken(const ProviderUUID& id) {
    translatingErrors([&] { store_->remove(service_, id.text()); });
}

} // namespace VedevaveApp
