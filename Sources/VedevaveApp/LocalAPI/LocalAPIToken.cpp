#include "VedevaveApp/LocalAPI/LocalAPIToken.h"

#include <array>
#include <openssl/rand.h>
#include <stdexcept>

namespace VedevaveApp::LocalAPIToken {

namespace {
constexpr size_t tokenBytes = 32;
// Shorter stored values are not taken as a token: they were not made here.
constexpr size_t minimumTokenLength = 32;
} // namespace

std::string generate() {
    std::array<unsigned char, tokenBytes> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        throw std::runtime_error("the random source failed");
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string token;
    token.reserve(tokenBytes * 2);
    for (unsigned char byte : bytes) {
        token.push_back(digits[byte >> 4]);
        token.push_back(digits[byte & 0x0F]);
    }
    return token;
}

std::string loadOrCreate(Platform::PreferenceStore& store) {
    if (auto stored = store.stringValue(preferenceKey);
        stored && stored->size() >= minimumTokenLength &&
        stored->find_first_of(" \t\r\n") == std::string::npos) {
        return *stored;
    }
    std::string token = generate();
    store.setValue(preferenceKey, token);
    return token;
}

} // namespace VedevaveApp::LocalAPIToken
