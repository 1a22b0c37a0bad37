// What the simulated phone's own apps hold and how they answer a tap: the note, the conversation
// and its compose field, the Settings list and its password screen, Safari's address, the
// calculator and the photo's favourite mark. PhoneModel owns the screens and the focus; this
// class owns the apps' contents. Pure; io thread only.
#pragma once

#include "Engine/Calculator.h"
#include "Engine/TextField.h"

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace Engine {

namespace AppId {
inline constexpr const char* notes = "com.apple.mobilenotes";
inline constexpr const char* messages = "com.apple.MobileSMS";
inline constexpr const char* settings = "com.apple.Preferences";
inline constexpr const char* calculator = "com.apple.calculator";
inline constexpr const char* safari = "com.apple.mobilesafari";
inline constexpr const char* photos = "com.apple.mobileslideshow";
} // namespace AppId

// Names of the text fields, as /debug/state reports them under "focusedField".
namespace FieldName {
inline constexpr const char* spotlight = "spotlight";
inline constexpr const char* note = "note";
inline constexpr const char* compose = "compose";
inline constexpr const char* password = "password";
inline constexpr const char* address = "address";
inline constexpr const char* calculator = "calculator";
} // namespace FieldName

struct ChatMessage {
    bool isFromMe = false;
    std::string text;
};

class PhoneApps {
public:
    PhoneApps();

    struct TapResult {
        enum class Kind { none, changed, focus, unfocus, home };
        Kind kind = Kind::none;
        std::string field; // for focus
    };

    // A tap at picture fractions (x, y) on app `bundleId`'s screen.
    TapResult tap(const std::string& bundleId, double x, double y, bool isKeyboardVisible);
    // The field an app focuses by itself when it comes to the front ("" for none).
    std::string autoFocus(const std::string& bundleId) const;
    // Return in `field`: send, load, evaluate, a line break. Returns whether anything changed and
    // sets `keepFocus` to whether the field stays focused.
    bool returnIn(const std::string& field, bool& keepFocus);

    // Vertical drag in the Settings list: `offset` is the wanted scroll in picture fractions.
    bool scrollSettings(double offset);
    double settingsScroll() const { return settingsScroll_; }
    double maxSettingsScroll() const;
    bool isSettingsList() const { return settingsPage_ == "list"; }

    TextField* field(const std::string& name);
    const TextField* field(const std::string& name) const;
    Calculator& calculator() { return calculator_; }
    const Calculator& calculator() const { return calculator_; }
    const std::vector<ChatMessage>& messages() const { return messages_; }
    const std::string& settingsPage() const { return settingsPage_; }
    const std::string& safariPage() const { return safariPage_; }
    bool isPhotoFavorite() const { return photoFavorite_; }
    static const std::vector<std::string>& settingsRows();
    static constexpr const char* messagesContact = "Anna";

    nlohmann::json toJson() const;

private:
    std::map<std::string, TextField> fields_;
    Calculator calculator_;
    std::vector<ChatMessage> messages_;
    std::string settingsPage_ = "list"; // "list" or "password"
    double settingsScroll_ = 0;
    std::string safariPage_;
    bool photoFavorite_ = false;
};

} // namespace Engine
