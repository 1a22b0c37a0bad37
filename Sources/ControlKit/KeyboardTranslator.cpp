#include "ControlKit/KeyboardTranslator.h"

#include "ControlKit/VedevaveSettings.h"

#include "Platform/Clipboard.h"
#include "Platform/InputSource.h"
#include "Runtime/Log.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace ControlKit {

std::string_view rawValue(PhoneLayout layout) {
    switch (layout) {
    case PhoneLayout::physical:
        return "physical";
    case PhoneLayout::us:
        return "us";
    case PhoneLayout::fr:
        return "fr";
    case PhoneLayout::de:
        return "de";
    }
    return "physical";
}

std::optional<PhoneLayout> phoneLayoutFromRawValue(std::string_view raw) {
    for (auto layout : {PhoneLayout::physical, PhoneLayout::us, PhoneLayout::fr, PhoneLayout::de}) {
        if (raw == rawValue(layout)) {
            return layout;
        }
    }
    return std::nullopt;
}

namespace KeyboardTranslator {

namespace {

std::string lowercasedASCII(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) {
        return c < 0x80 ? static_cast<char>(std::tolower(c)) : static_cast<char>(c);
    });
    return result;
}

std::string uppercasedASCII(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) {
        return c < 0x80 ? static_cast<char>(std::toupper(c)) : static_cast<char>(c);
    });
    return result;
}

std::string_view trimmedWhitespace(std::string_view text) {
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool containsAny(std::string_view text, std::initializer_list<std::string_view> needles) {
    return std::any_of(needles.begin(), needles.end(),
                       [&](std::string_view needle) { return text.find(needle) != std::string_view::npos; });
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A character with an ASCII value: one scalar below 0x80, or the pair CR LF (one character when
// segmented by grapheme clusters).
bool isASCIICharacter(std::string_view character) {
    return (character.size() == 1 && static_cast<unsigned char>(character[0]) < 0x80) || character == "\r\n";
}

icu::UnicodeString unicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string utf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

// ICU break iterators and transliterators are not safe to share between threads, and costly to
// create, so each thread keeps its own.
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

std::vector<icu::UnicodeString> graphemes(const icu::UnicodeString& text, std::size_t limit) {
    std::vector<icu::UnicodeString> result;
    auto* breaks = characterBreaks();
    if (!breaks) { // no segmentation data: fall back to code points
        for (int32_t start = 0; start < text.length() && result.size() < limit;
             start = text.moveIndex32(start, 1)) {
            result.emplace_back(text, start, text.moveIndex32(start, 1) - start);
        }
        return result;
    }
    breaks->setText(text);
    int32_t start = breaks->first();
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE && result.size() < limit;
         end = breaks->next()) {
        result.emplace_back(text, start, end - start);
        start = end;
    }
    return result;
}

struct Transforms {
    std::unique_ptr<icu::Transliterator> stripDiacritics;
    std::unique_ptr<icu::Transliterator> toLatin;
};

Transforms& transforms() {
    thread_local Transforms instance = [] {
        Transforms created;
        UErrorCode status = U_ZERO_ERROR;
        created.stripDiacritics.reset(icu::Transliterator::createInstance(
            "NFD; [:Nonspacing Mark:] Remove; NFC", UTRANS_FORWARD, status));
        if (U_FAILURE(status)) {
            created.stripDiacritics.reset();
        }
        status = U_ZERO_ERROR;
        created.toLatin.reset(icu::Transliterator::createInstance("Any-Latin", UTRANS_FORWARD, status));
        if (U_FAILURE(status)) {
            created.toLatin.reset();
        }
        return created;
    }();
    return instance;
}

// The lower-level route when the stripping transliterator is unavailable: canonical decomposition,
// then every combining mark removed.
icu::UnicodeString withoutCombiningMarks(const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString decomposed = U_SUCCESS(status) ? nfd->normalize(text, status) : text;
    if (U_FAILURE(status)) {
        decomposed = text;
    }
    icu::UnicodeString result;
    for (int32_t i = 0; i < decomposed.length(); i = decomposed.moveIndex32(i, 1)) {
        const UChar32 c = decomposed.char32At(i);
        const auto category = u_charType(c);
        if (category != U_NON_SPACING_MARK && category != U_ENCLOSING_MARK &&
            category != U_COMBINING_SPACING_MARK) {
            result.append(c);
        }
    }
    return result;
}

icu::UnicodeString latinLookalike(const icu::UnicodeString& character) {
    auto& available = transforms();
    icu::UnicodeString stripped = character;
    if (available.stripDiacritics) {
        available.stripDiacritics->transliterate(stripped);
    } else {
        stripped = withoutCombiningMarks(character);
    }
    if (!available.toLatin) {
        return stripped;
    }
    icu::UnicodeString latin = stripped;
    available.toLatin->transliterate(latin);
    return latin.isEmpty() ? stripped : latin;
}

// Names spell letters as a word of their own after "LETTER " ("CIRCLED LATIN SMALL LETTER A");
// digits after "DIGIT " are words ("DIGIT ONE") and so give nothing.
std::string letterFromCharacterName(UChar32 scalar) {
    char buffer[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_charName(scalar, U_UNICODE_CHAR_NAME, buffer, sizeof buffer, &status);
    const std::string name =
        U_SUCCESS(status) ? std::string(buffer, static_cast<std::size_t>(std::max(length, 0))) : "";
    for (std::string_view marker : {"LETTER ", "DIGIT "}) {
        const auto found = name.find(marker);
        if (found == std::string::npos) {
            continue;
        }
        std::string_view rest = std::string_view(name).substr(found + marker.size());
        while (!rest.empty() && rest.front() == ' ') {
            rest.remove_prefix(1);
        }
        const std::string_view word = rest.substr(0, rest.find(' '));
        if (word.size() == 1 && static_cast<unsigned char>(word[0]) < 0x80) {
            const std::string letter(word);
            return name.find("SMALL") != std::string::npos ? lowercasedASCII(letter) : letter;
        }
    }
    return {};
}

const CharacterTable& tableFor(PhoneLayout layout) {
    switch (layout) {
    case PhoneLayout::fr:
        return asciiToHID_FR();
    case PhoneLayout::de:
        return asciiToHID_DE();
    default:
        return asciiToHID_US();
    }
}

std::mutex modeSourceLock;
std::function<std::string()> modeSource; // guarded by modeSourceLock; empty means the settings

std::atomic<bool> didLogLayout{false};

void logAutoIfNeeded(PhoneLayout layout) {
    if (didLogLayout.exchange(true)) {
        return;
    }
    const char* variable = std::getenv("VEDEVAVE_KB_PHONE");
    const auto language = Platform::firstPreferredLanguage();
    Runtime::logLine(layoutLogLine(layout, variable ? variable : "", Platform::currentInputSourceID(),
                                   language ? std::optional<std::string_view>(*language) : std::nullopt));
}

// The X keyboard map's layout names, decided like the macOS identifiers they correspond to.
PhoneLayout resolveXKB(std::string_view identifier) {
    std::string_view layout = identifier.substr(std::string_view("xkb:").size());
    std::string_view variant;
    if (const auto open = layout.find('('); open != std::string_view::npos) {
        variant = layout.substr(open + 1);
        variant = variant.substr(0, variant.find(')'));
        layout = layout.substr(0, open);
    }
    const auto isOneOf = [](std::string_view value, std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), value) != names.end();
    };
    const bool isFrench = isOneOf(layout, {"fr", "be"}) || (layout == "ca" && variant != "eng") ||
                          (layout == "ch" && variant.substr(0, 2) == "fr");
    if (isFrench) {
        return PhoneLayout::fr;
    }
    if (isOneOf(layout, {"de", "at", "ch"})) {
        return PhoneLayout::de;
    }
    const bool isQWERTY = isOneOf(layout, {"us", "gb", "ie", "au", "it", "es", "pt", "nl"}) ||
                          layout == "ca" || containsAny(variant, {"dvorak", "colemak"});
    return isQWERTY ? PhoneLayout::us : PhoneLayout::physical;
}

} // namespace

const CharacterTable& asciiToHID_US() {
    static const CharacterTable table = [] {
        CharacterTable built;
        for (int i = 0; i < 26; ++i) {
            const auto usage = static_cast<uint16_t>(0x04 + i);
            built[std::string(1, static_cast<char>('a' + i))] = {usage, false};
            built[std::string(1, static_cast<char>('A' + i))] = {usage, true};
        }
        const std::string_view shiftedDigits = "!@#$%^&*()";
        for (int i = 0; i < 10; ++i) {
            const auto usage = static_cast<uint16_t>(0x1E + i);
            built[std::string(1, "1234567890"[i])] = {usage, false};
            built[std::string(1, shiftedDigits[static_cast<std::size_t>(i)])] = {usage, true};
        }
        built[" "] = {0x2C, false};
        built["\t"] = {0x2B, false};
        built["\n"] = {0x28, false};
        built["\r"] = {0x28, false};
        const struct {
            const char* plain;
            const char* shifted;
            uint16_t usage;
        } pairs[] = {{"-", "_", 0x2D},  {"=", "+", 0x2E}, {"[", "{", 0x2F},  {"]", "}", 0x30},
                     {"\\", "|", 0x31}, {";", ":", 0x33}, {"'", "\"", 0x34}, {"`", "~", 0x35},
                     {",", "<", 0x36},  {".", ">", 0x37}, {"/", "?", 0x38}};
        for (const auto& pair : pairs) {
            built[pair.plain] = {pair.usage, false};
            built[pair.shifted] = {pair.usage, true};
        }
        return built;
    }();
    return table;
}

const CharacterTable& asciiToHID_FR() {
    static const CharacterTable table = [] {
        CharacterTable built;
        const struct {
            char letter;
            uint16_t usage;
        } letters[] = {{'a', 0x14}, {'z', 0x1A}, {'e', 0x08}, {'r', 0x15}, {'t', 0x17}, {'y', 0x1C},
                       {'u', 0x18}, {'i', 0x0C}, {'o', 0x12}, {'p', 0x13}, {'q', 0x04}, {'s', 0x16},
                       {'d', 0x07}, {'f', 0x09}, {'g', 0x0A}, {'h', 0x0B}, {'j', 0x0D}, {'k', 0x0E},
                       {'l', 0x0F}, {'m', 0x33}, {'w', 0x1D}, {'x', 0x1B}, {'c', 0x06}, {'v', 0x19},
                       {'b', 0x05}, {'n', 0x11}};
        for (const auto& entry : letters) {
            built[std::string(1, entry.letter)] = {entry.usage, false};
            built[std::string(1, static_cast<char>(std::toupper(entry.letter)))] = {entry.usage, true};
        }
        built[" "] = {0x2C, false};
        built["\t"] = {0x2B, false};
        built["\n"] = {0x28, false};
        built["\r"] = {0x28, false};
        built[","] = {0x10, false};
        built["?"] = {0x10, true};
        built[";"] = {0x36, false};
        built["."] = {0x36, true};
        built[":"] = {0x37, false};
        built["/"] = {0x37, true};
        built["!"] = {0x1E, false};
        // Digits are the shifted top row on AZERTY.
        for (int i = 0; i < 10; ++i) {
            built[std::string(1, "1234567890"[i])] = {static_cast<uint16_t>(0x1E + i), true};
        }
        return built;
    }();
    return table;
}

const CharacterTable& asciiToHID_DE() {
    static const CharacterTable table = [] {
        CharacterTable built;
        for (int i = 0; i < 26; ++i) {
            const char letter = static_cast<char>('a' + i);
            const auto usage = letter == 'y'   ? uint16_t{0x1D}
                               : letter == 'z' ? uint16_t{0x1C}
                                               : static_cast<uint16_t>(0x04 + i);
            built[std::string(1, letter)] = {usage, false};
            built[std::string(1, static_cast<char>('A' + i))] = {usage, true};
        }
        built[" "] = {0x2C, false};
        built["\t"] = {0x2B, false};
        built["\n"] = {0x28, false};
        built["\r"] = {0x28, false};
        built["-"] = {0x2D, false};
        built["_"] = {0x2D, true};
        built[","] = {0x36, false};
        built[";"] = {0x36, true};
        built["."] = {0x37, false};
        built[":"] = {0x37, true};
        return built;
    }();
    return table;
}

const CompatibilityTable& compat() {
    static const CompatibilityTable table = [] {
        CompatibilityTable built = {
            {"ß", "s"},  {"ẞ", "S"},  {"ø", "o"},  {"Ø", "O"},      {"đ", "d"},      {"Đ", "D"},
            {"ł", "l"},  {"Ł", "L"},  {"ı", "i"},  {"İ", "I"},      {"œ", "o"},      {"Œ", "O"},
            {"æ", "a"},  {"Æ", "A"},  {"þ", "t"},  {"Þ", "T"},      {"ð", "d"},      {"Ð", "D"},
            {"«", "\""}, {"»", "\""}, {"“", "\""}, {"”", "\""},     {"„", "\""},     {"‘", "'"},
            {"’", "'"},  {"‚", "'"},  {"–", "-"},  {"—", "-"},      {"\u2212", "-"}, {"…", "."},
            {"·", "."},  {"¡", "!"},  {"¿", "?"},  {"\u00A0", " "}, {"\u202F", " "},
        };
        // Cyrillic: ъ and ь have no row; upper case follows lower case.
        const char* cyrillicLower[] = {"а", "б", "в", "г", "д", "е", "ё", "ж", "з", "и", "й",
                                       "к", "л", "м", "н", "о", "п", "р", "с", "т", "у", "ф",
                                       "х", "ц", "ч", "ш", "щ", "ы", "э", "ю", "я"};
        const char* cyrillicUpper[] = {"А", "Б", "В", "Г", "Д", "Е", "Ё", "Ж", "З", "И", "Й",
                                       "К", "Л", "М", "Н", "О", "П", "Р", "С", "Т", "У", "Ф",
                                       "Х", "Ц", "Ч", "Ш", "Щ", "Ы", "Э", "Ю", "Я"};
        const std::string_view cyrillicLatin = "abvgdeezziiklmnoprstufhccssyeua";
        for (std::size_t i = 0; i < cyrillicLatin.size(); ++i) {
            built[cyrillicLower[i]] = std::string(1, cyrillicLatin[i]);
            built[cyrillicUpper[i]] = std::string(1, static_cast<char>(std::toupper(cyrillicLatin[i])));
        }
        // Greek: final sigma has no capital.
        const char* greekLower[] = {"α", "β", "γ", "δ", "ε", "ζ", "η", "θ", "ι", "κ", "λ", "μ", "ν",
                                    "ξ", "ο", "π", "ρ", "σ", "ς", "τ", "υ", "φ", "χ", "ψ", "ω"};
        const char* greekUpper[] = {"Α", "Β", "Γ", "Δ", "Ε", "Ζ",     "Η", "Θ", "Ι", "Κ", "Λ", "Μ", "Ν",
                                    "Ξ", "Ο", "Π", "Ρ", "Σ", nullptr, "Τ", "Υ", "Φ", "Χ", "Ψ", "Ω"};
        const std::string_view greekLatin = "abgdezitiklmnxoprsstyfhpo";
        for (std::size_t i = 0; i < greekLatin.size(); ++i) {
            built[greekLower[i]] = std::string(1, greekLatin[i]);
            if (greekUpper[i]) {
                built[greekUpper[i]] = std::string(1, static_cast<char>(std::toupper(greekLatin[i])));
            }
        }
        return built;
    }();
    return table;
}

void setKeyboardModeSource(std::function<std::string()> source) {
    std::lock_guard lock(modeSourceLock);
    modeSource = std::move(source);
}

PhoneLayout layoutForMode(std::string_view keyboardMode, const std::function<PhoneLayout()>& detect) {
    if (auto layout = phoneLayoutFromRawValue(keyboardMode)) {
        return *layout;
    }
    return detect();
}

PhoneLayout phoneLayout() {
    std::function<std::string()> source;
    {
        std::lock_guard lock(modeSourceLock);
        source = modeSource;
    }
    const std::string mode =
        source ? source() : VedevaveSettings::rawValue(VedevaveSettings::keyboardMode());
    const PhoneLayout layout = layoutForMode(mode, [] {
        const auto language = Platform::firstPreferredLanguage();
        return resolveAuto(language ? std::optional<std::string_view>(*language) : std::nullopt,
                           Platform::currentInputSourceID());
    });
    logAutoIfNeeded(layout);
    return layout;
}

bool isAZERTY(std::string_view id) {
    return containsAny(
        id, {"french", "azerty", "belgium", "belgian", "canadianfrench", "canadian-french", "abc-azerty"});
}

bool isQWERTYFamily(std::string_view id) {
    if (containsAny(id, {"azerty"})) {
        return false;
    }
    if (containsAny(id, {"keylayout.us", "keylayout.abc", "keylayout.british", "australian", "irish",
                         "usinternational", "usextended", "dvora", "colemak", "italian", "spanish",
                         "portuguese", "keylayout.dutch"})) {
        return true;
    }
    return endsWith(id, ".us") || endsWith(id, ".abc");
}

PhoneLayout resolveAuto(std::optional<std::string_view> firstLanguage, std::string_view inputSourceID) {
    if (firstLanguage) {
        const std::string language = lowercasedASCII(*firstLanguage);
        const auto beginsWith = [&](std::string_view prefix) { return language.rfind(prefix, 0) == 0; };
        if (beginsWith("fr")) {
            return PhoneLayout::fr;
        }
        if (beginsWith("de")) {
            return PhoneLayout::de;
        }
        if (beginsWith("en") || beginsWith("it") || beginsWith("es") || beginsWith("pt")) {
            return PhoneLayout::us;
        }
        if (beginsWith("sv") || beginsWith("fi")) {
            return PhoneLayout::physical;
        }
    }
    const std::string id = lowercasedASCII(inputSourceID);
    if (id.empty()) {
        return PhoneLayout::physical;
    }
    if (id.rfind("xkb:", 0) == 0) {
        return resolveXKB(id);
    }
    if (isAZERTY(id)) {
        return PhoneLayout::fr;
    }
    if (containsAny(id, {"german", "austrian", "swiss.german"})) {
        return PhoneLayout::de;
    }
    return isQWERTYFamily(id) ? PhoneLayout::us : PhoneLayout::physical;
}

std::string firstCharacter(std::string_view text) {
    const auto first = graphemes(unicode(text), 1);
    return first.empty() ? std::string() : utf8(first.front());
}

std::size_t characterCount(std::string_view text) {
    return graphemes(unicode(text), static_cast<std::size_t>(-1)).size();
}

std::string fold(std::string_view text) {
    const auto first = graphemes(unicode(text), 1);
    if (first.empty()) {
        return {};
    }
    const icu::UnicodeString& character = first.front();
    const auto& compatibility = compat();
    if (auto row = compatibility.find(utf8(character)); row != compatibility.end()) {
        return row->second;
    }
    const icu::UnicodeString transformed = latinLookalike(character);
    if (auto row = compatibility.find(utf8(transformed)); row != compatibility.end()) {
        return row->second;
    }
    for (const auto& piece : graphemes(transformed, static_cast<std::size_t>(-1))) {
        if (const std::string candidate = utf8(piece); isASCIICharacter(candidate)) {
            return candidate;
        }
    }
    return letterFromCharacterName(character.char32At(0));
}

std::optional<Chord> resolve(std::string_view text, uint8_t hostMods) {
    if (text.empty()) {
        return std::nullopt;
    }
    return resolve(text, hostMods, phoneLayout());
}

std::optional<Chord> resolve(std::string_view text, uint8_t hostMods, PhoneLayout layout) {
    const std::string folded = fold(text);
    if (!isASCIICharacter(folded) || layout == PhoneLayout::physical) {
        return std::nullopt;
    }
    if (layout == PhoneLayout::fr && folded == "@") {
        // AZERTY types "@" as option+0 (the key of "à").
        return Chord{0x27, "@", static_cast<uint8_t>((hostMods & 0x0E) | modifierOption)};
    }
    const auto& table = tableFor(layout);
    // CR LF is one character but a single return key.
    const std::string key = folded == "\r\n" ? "\r" : folded;
    auto entry = table.find(key);
    if (entry == table.end()) {
        entry = table.find(lowercasedASCII(key));
    }
    if (entry == table.end()) {
        entry = table.find(uppercasedASCII(key));
    }
    if (entry == table.end()) {
        return std::nullopt;
    }
    const bool isUppercase = folded.size() == 1 && folded[0] >= 'A' && folded[0] <= 'Z';
    uint8_t mods = hostMods & (modifierControl | modifierCommand);
    if (entry->second.isShifted || isUppercase) {
        mods |= modifierShift;
    }
    return Chord{entry->second.usage, folded, mods};
}

std::vector<Chord> pasteChords(std::string_view text) {
    if (!Platform::generalClipboard()->writeText(text)) {
        Runtime::logLine("Vedevave keyboard: the clipboard did not take the text; nothing is pasted");
        return {};
    }
    return {Chord{0x19, "v", modifierCommand}};
}

bool pasteUnmapped() {
    const char* variable = std::getenv("VEDEVAVE_KB_PASTE");
    if (!variable) {
        return true;
    }
    const std::string value = lowercasedASCII(trimmedWhitespace(variable));
    return !(value == "0" || value == "off" || value == "false" || value == "no");
}

std::string layoutLogLine(PhoneLayout layout, std::string_view kbPhoneVariable,
                          std::string_view inputSourceID, std::optional<std::string_view> firstLanguage) {
    std::string line = "Vedevave keyboard: mode=";
    line += rawValue(layout);
    line += " (VEDEVAVE_KB_PHONE=";
    line += kbPhoneVariable.empty() ? std::string_view("auto") : kbPhoneVariable;
    line += ", mac=";
    line += inputSourceID;
    line += ", lang=";
    line += firstLanguage ? *firstLanguage : std::string_view("?");
    line += ")";
    return line;
}

} // namespace KeyboardTranslator
} // namespace ControlKit
