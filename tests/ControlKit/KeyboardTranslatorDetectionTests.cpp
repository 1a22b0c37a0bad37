#include "ControlKit/KeyboardTranslator.h"
#include "Platform/InputSource.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using ControlKit::PhoneLayout;
namespace KT = ControlKit::KeyboardTranslator;

TEST(KeyboardTranslatorDetection, DecidesFromLanguageThenInputSource) {
    const struct {
        std::optional<std::string_view> language;
        std::string_view inputSource;
        PhoneLayout layout;
    } cases[] = {
        // The language decides first, whatever the keyboard.
        {"fr-FR", "", PhoneLayout::fr},
        {"de-AT", "com.apple.keylayout.US", PhoneLayout::de},
        {"EN-us", "com.apple.keylayout.French", PhoneLayout::us},
        {"pt-BR", "", PhoneLayout::us},
        {"sv-SE", "com.apple.keylayout.French", PhoneLayout::physical},
        // A language without a rule falls through to the input source.
        {"nb-NO", "com.apple.keylayout.ABC", PhoneLayout::us},
        {"nb-NO", "com.apple.keylayout.French", PhoneLayout::fr},
        {"nb-NO", "", PhoneLayout::physical},
        {std::nullopt, "", PhoneLayout::physical},
        {std::nullopt, "com.apple.keylayout.ABC-AZERTY", PhoneLayout::fr},
        {std::nullopt, "com.apple.keylayout.German", PhoneLayout::de},
        {std::nullopt, "com.apple.keylayout.SwissGerman", PhoneLayout::de},
        {std::nullopt, "com.apple.keylayout.Dvorak", PhoneLayout::us},
        {std::nullopt, "com.apple.keylayout.Russian", PhoneLayout::physical},
        // The X keyboard map's layouts.
        {"nb-NO", "xkb:fr", PhoneLayout::fr},
        {std::nullopt, "xkb:fr(azerty)", PhoneLayout::fr},
        {std::nullopt, "xkb:be", PhoneLayout::fr},
        {std::nullopt, "xkb:ca", PhoneLayout::fr},
        {std::nullopt, "xkb:ca(fr)", PhoneLayout::fr},
        {std::nullopt, "xkb:ca(eng)", PhoneLayout::us},
        {std::nullopt, "xkb:ch(fr)", PhoneLayout::fr},
        {std::nullopt, "xkb:ch", PhoneLayout::de},
        {std::nullopt, "xkb:ch(de_nodeadkeys)", PhoneLayout::de},
        {std::nullopt, "xkb:de(nodeadkeys)", PhoneLayout::de},
        {std::nullopt, "xkb:at", PhoneLayout::de},
        {std::nullopt, "xkb:us", PhoneLayout::us},
        {std::nullopt, "xkb:gb(extd)", PhoneLayout::us},
        {std::nullopt, "xkb:it", PhoneLayout::us},
        {std::nullopt, "xkb:nl", PhoneLayout::us},
        {std::nullopt, "xkb:us(colemak)", PhoneLayout::us},
        {std::nullopt, "xkb:se(dvorak)", PhoneLayout::us},
        {std::nullopt, "xkb:se", PhoneLayout::physical},
        {std::nullopt, "xkb:ru", PhoneLayout::physical},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KT::resolveAuto(c.language, c.inputSource), c.layout)
            << "language: " << c.language.value_or("(none)") << " input source: " << c.inputSource;
    }
}

TEST(KeyboardTranslatorDetection, PreferredLanguageComesFromTheLocaleVariables) {
    using Environment = std::map<std::string, std::string>;
    const struct {
        Environment environment;
        std::optional<std::string> language;
    } cases[] = {
        {{}, std::nullopt},
        {{{"LANG", "fr_FR.UTF-8"}}, "fr-FR"},
        {{{"LANG", "de_DE@euro"}}, "de-DE"},
        {{{"LANG", "C.UTF-8"}}, std::nullopt},
        {{{"LC_ALL", "POSIX"}, {"LANG", "fr_FR.UTF-8"}}, std::nullopt}, // LC_ALL overrides LANG
        {{{"LC_MESSAGES", "it_IT.UTF-8"}, {"LANG", "fr_FR.UTF-8"}}, "it-IT"},
        {{{"LANGUAGE", "sv:en_GB"}, {"LANG", "fr_FR.UTF-8"}}, "sv"},
        {{{"LANGUAGE", ""}, {"LANG", "es_ES.UTF-8"}}, "es-ES"},
    };
    for (const auto& c : cases) {
        const auto lookup = [&](const char* name) -> std::optional<std::string> {
            auto found = c.environment.find(name);
            return found == c.environment.end() ? std::nullopt : std::optional<std::string>(found->second);
        };
        EXPECT_EQ(Platform::preferredLanguageFrom(lookup), c.language);
    }
}

TEST(KeyboardTranslatorDetection, InputSourceComesFromTheKeyboardMapsFirstGroup) {
    EXPECT_EQ(Platform::inputSourceIDFromSetxkbmapQuery("rules:      evdev\n"
                                                        "model:      pc105\n"
                                                        "layout:     fr,us\n"
                                                        "variant:    azerty,\n"),
              "xkb:fr(azerty)");
    EXPECT_EQ(Platform::inputSourceIDFromSetxkbmapQuery("layout:     de,us\n"), "xkb:de");
    EXPECT_EQ(Platform::inputSourceIDFromSetxkbmapQuery(""), "");
    EXPECT_EQ(Platform::inputSourceIDFromSetxkbmapQuery("garbage without colons\n\0\xff"), "");
    EXPECT_EQ(Platform::inputSourceIDFromKeyboardConfiguration("XKBMODEL=\"pc105\"\nXKBLAYOUT=\"ch\"\n"
                                                               "XKBVARIANT=\"fr\"\nXKBOPTIONS=\"\"\n"),
              "xkb:ch(fr)");
    EXPECT_EQ(Platform::xkbInputSourceID("", "dvorak"), "");
}

} // namespace
