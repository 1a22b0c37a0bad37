#include "ControlKit/KeyboardTranslator.h"
#include "ControlKit/VedevaveSettings.h"
#include "Platform/PreferenceStore.h"
#include "Platform/Clipboard.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using ControlKit::Chord;
using ControlKit::PhoneLayout;
namespace KT = ControlKit::KeyboardTranslator;

TEST(KeyboardTranslatorTables, HoldTheStatedNumberOfEntries) {
    EXPECT_EQ(KT::asciiToHID_US().size(), 98u);
    EXPECT_EQ(KT::asciiToHID_FR().size(), 73u);
    EXPECT_EQ(KT::asciiToHID_DE().size(), 62u);
    EXPECT_EQ(KT::compat().size(), 146u);
}

TEST(KeyboardTranslatorFold, FoldsTheFirstCharacterToAnASCIILookalike) {
    const struct {
        const char* text;
        const char* folded;
    } cases[] = {
        {"", ""},         {"é", "e"},       {"É", "E"}, {"e\u0301", "e"}, // combining accent: one character
        {"abc", "a"},                                                     // only the first character counts
        {"ß", "s"},                                                       // compatibility table
        {"Я", "A"},       {"Ω", "O"},       {"ύ", "y"},                   // stripped, then transliterated
        {"中", "z"},                        // first ASCII letter of the transliteration
        {"\u24D0", "a"},                    // CIRCLED LATIN SMALL LETTER A, by name
        {"\u24B6", "A"},                    // CIRCLED LATIN CAPITAL LETTER A
        {"\u2460", ""},                     // CIRCLED DIGIT ONE: the word after the marker is not a letter
        {"€", ""},        {"ъ", ""},        // no row, no Latin form, no letter in the name
        {"\u00A0", " "},  {"\r\n", "\r\n"}, // one character
        {"\xFF\xFE", ""},                   // invalid UTF-8 reads as a replacement character
        {"\xC3", ""},                       // truncated sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KT::fold(c.text), c.folded) << "text: " << c.text;
    }
}

TEST(KeyboardTranslatorResolve, GivesTheChordOfEachLayout) {
    const struct {
        PhoneLayout layout;
        const char* text;
        uint8_t hostMods;
        std::optional<Chord> chord;
    } cases[] = {
        {PhoneLayout::us, "é", 0, Chord{0x08, "e", 0x00}},
        {PhoneLayout::us, "É", 0, Chord{0x08, "E", 0x01}},
        {PhoneLayout::us, "@", 0, Chord{0x1F, "@", 0x01}},
        {PhoneLayout::fr, "@", 0, Chord{0x27, "@", 0x04}},
        {PhoneLayout::fr, "@", 0x0A, Chord{0x27, "@", 0x0E}}, // control and command kept, option added
        {PhoneLayout::de, "@", 0, std::nullopt},
        {PhoneLayout::de, "5", 0, std::nullopt}, // no digits on the German table
        {PhoneLayout::fr, "5", 0, Chord{0x22, "5", 0x01}},
        {PhoneLayout::fr, "!", 0, Chord{0x1E, "!", 0x00}},
        {PhoneLayout::fr, "a", 0, Chord{0x14, "a", 0x00}},
        {PhoneLayout::fr, "M", 0, Chord{0x33, "M", 0x01}},
        {PhoneLayout::de, "z", 0, Chord{0x1C, "z", 0x00}},
        {PhoneLayout::de, "Y", 0, Chord{0x1D, "Y", 0x01}},
        {PhoneLayout::de, ":", 0, Chord{0x37, ":", 0x01}},
        {PhoneLayout::us, "a", 0x08, Chord{0x04, "a", 0x08}}, // command shortcuts keep command
        {PhoneLayout::us, "a", 0x04, Chord{0x04, "a", 0x00}}, // option is dropped
        {PhoneLayout::us, "«", 0, Chord{0x34, "\"", 0x01}},
        {PhoneLayout::us, "\r\n", 0, Chord{0x28, "\r\n", 0x00}},
        {PhoneLayout::us, "", 0, std::nullopt},
        {PhoneLayout::us, "€", 0, std::nullopt},
        {PhoneLayout::physical, "a", 0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KT::resolve(c.text, c.hostMods, c.layout), c.chord)
            << "text: " << c.text << " layout: " << ControlKit::rawValue(c.layout);
    }
}

// Types `text` character by character and joins the tokens; "¤" marks a character with no chord.
std::string typeThrough(std::string_view text, PhoneLayout layout) {
    std::string typed;
    while (!text.empty()) {
        const std::string character = KT::firstCharacter(text);
        const auto chord = KT::resolve(character, 0, layout);
        typed += chord ? chord->token : "¤";
        text.remove_prefix(character.size());
    }
    return typed;
}

TEST(KeyboardTranslatorResolve, TypesLatin1CyrillicAndGreekTextAsFoldedASCII) {
    const std::string latin1Letters = "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞßàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿ";
    const std::string latin1Folded = "AAAAAAACEEEEIIIIDNOOOOOOUUUUYTsaaaaaaaceeeeiiiidnoooooouuuuyty";
    const std::string cyrillic = "Съешь же ещё этих мягких французских булок, да выпей чаю";
    const std::string cyrillicFolded = "S¤es¤ ze ese etih magkih francuzskih bulok, da vypei cau";
    const std::string greek = "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία.";
    const std::string greekFolded = "Xeskepazo tin pyhoftora bdelygmia.";
    for (auto layout : {PhoneLayout::us, PhoneLayout::fr, PhoneLayout::de}) {
        SCOPED_TRACE(std::string(ControlKit::rawValue(layout)));
        EXPECT_EQ(typeThrough(latin1Letters, layout), latin1Folded);
        EXPECT_EQ(typeThrough(cyrillic, layout), cyrillicFolded);
        EXPECT_EQ(typeThrough(greek, layout), greekFolded);
    }
    // Punctuation and digits differ between the layouts.
    EXPECT_EQ(typeThrough("Déjà vu: 5 € ¡Olé!", PhoneLayout::us), "Deja vu: 5 ¤ !Ole!");
    EXPECT_EQ(typeThrough("Déjà vu: 5 € ¡Olé!", PhoneLayout::fr), "Deja vu: 5 ¤ !Ole!");
    EXPECT_EQ(typeThrough("Déjà vu: 5 € ¡Olé!", PhoneLayout::de), "Deja vu: ¤ ¤ ¤Ole¤");
}

TEST(KeyboardTranslatorResolve, UppercaseLettersAreShiftedOnEveryLayout) {
    for (auto layout : {PhoneLayout::us, PhoneLayout::fr, PhoneLayout::de}) {
        for (char letter = 'a'; letter <= 'z'; ++letter) {
            const auto lower = KT::resolve(std::string(1, letter), 0, layout);
            const auto upper = KT::resolve(std::string(1, static_cast<char>(letter - 'a' + 'A')), 0, layout);
            ASSERT_TRUE(lower && upper) << letter;
            EXPECT_EQ(lower->usage, upper->usage) << letter;
            EXPECT_EQ(lower->mods, 0x00) << letter;
            EXPECT_EQ(upper->mods, 0x01) << letter;
        }
    }
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnvironment() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(KeyboardTranslatorPaste, PasteUnmappedFollowsTheVariable) {
    const struct {
        const char* value;
        bool isOn;
    } cases[] = {{nullptr, true}, {"", true},       {" Off \n", false}, {"0", false},
                 {"NO", false},   {"false", false}, {"yes", true},      {"1", true}};
    for (const auto& c : cases) {
        ScopedEnvironment variable("VEDEVAVE_KB_PASTE", c.value);
        EXPECT_EQ(KT::pasteUnmapped(), c.isOn) << (c.value ? c.value : "(unset)");
    }
}

class MemoryClipboard : public Platform::Clipboard {
public:
    std::optional<std::string> readText() override { return text; }
    bool writeText(std::string_view newText) override {
        if (isBroken) {
            return false;
        }
        text = std::string(newText);
        return true;
    }
    std::optional<std::string> text;
    bool isBroken = false;
};

TEST(KeyboardTranslatorPaste, PutsTheTextOnTheClipboardAndReturnsCommandV) {
    auto clipboard = std::make_shared<MemoryClipboard>();
    Platform::setGeneralClipboard(clipboard);
    EXPECT_EQ(KT::pasteChords("Ωμέγα ✓"), (std::vector<Chord>{{0x19, "v", 0x08}}));
    EXPECT_EQ(clipboard->text, "Ωμέγα ✓");

    // A clipboard that refused the text must not lead to pasting its old contents.
    clipboard->isBroken = true;
    EXPECT_TRUE(KT::pasteChords("new").empty());
    EXPECT_EQ(clipboard->text, "Ωμέγα ✓");
    Platform::setGeneralClipboard(nullptr);
}

TEST(KeyboardTranslatorLayout, TheKeyboardModeSelectsTheLayout) {
    int detections = 0;
    const auto detect = [&] {
        ++detections;
        return PhoneLayout::de;
    };
    EXPECT_EQ(KT::layoutForMode("fr", detect), PhoneLayout::fr);
    EXPECT_EQ(KT::layoutForMode("physical", detect), PhoneLayout::physical);
    EXPECT_EQ(detections, 0);
    EXPECT_EQ(KT::layoutForMode("auto", detect), PhoneLayout::de);
    EXPECT_EQ(detections, 1);

    KT::setKeyboardModeSource([] { return std::string("fr"); });
    EXPECT_EQ(KT::phoneLayout(), PhoneLayout::fr);
    EXPECT_EQ(KT::resolve("!", 0), (Chord{0x1E, "!", 0x00})); // the layout is read on every call
    KT::setKeyboardModeSource([] { return std::string("us"); });
    EXPECT_EQ(KT::resolve("!", 0), (Chord{0x1E, "!", 0x01}));
    KT::setKeyboardModeSource(nullptr);
}

TEST(KeyboardTranslatorLayout, DefaultModeFollowsTheSettings) {
    auto store = std::make_shared<Platform::MemoryPreferenceStore>();
    Platform::PreferenceStore::setShared(store);
    ScopedEnvironment variable("VEDEVAVE_KB_PHONE", nullptr);
    KT::setKeyboardModeSource(nullptr);
    ControlKit::VedevaveSettings::setKeyboardMode(ControlKit::KeyboardMode::fr);
    EXPECT_EQ(KT::resolve("a", 0), (Chord{0x14, "a", 0x00})); // AZERTY: a sits on the Q key
    {
        ScopedEnvironment english("VEDEVAVE_KB_PHONE", "English");
        EXPECT_EQ(KT::resolve("a", 0), (Chord{0x04, "a", 0x00}));
    }
    Platform::PreferenceStore::setShared(nullptr);
}

TEST(KeyboardTranslatorLayout, LogLineNamesTheLayoutAndItsSources) {
    EXPECT_EQ(KT::layoutLogLine(PhoneLayout::fr, "", "xkb:fr", "fr-FR"),
              "Vedevave keyboard: mode=fr (VEDEVAVE_KB_PHONE=auto, mac=xkb:fr, lang=fr-FR)");
    EXPECT_EQ(KT::layoutLogLine(PhoneLayout::physical, "physical", "", std::nullopt),
              "Vedevave keyboard: mode=physical (VEDEVAVE_KB_PHONE=physical, mac=, lang=?)");
}

} // namespace
