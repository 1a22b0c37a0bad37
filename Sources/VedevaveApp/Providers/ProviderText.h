// Text rules shared by the provider types: Unicode-aware trimming, counting user-perceived
// characters, and decoding untrusted bytes. Pure functions; any thread may call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace VedevaveApp::ProviderText {

// True for the white space and line-break code points (general category Z, U+0009...U+000D, U+0085).
bool isWhitespaceOrNewline(char32_t codePoint);

// Removes white space and line breaks from both ends. Ill-formed UTF-8 at an end is kept.
std::string trimmed(std::string_view text);

// ASCII lower case; other bytes are kept.
std::string lowercased(std::string_view text);

bool containsLineBreak(std::string_view text); // a carriage return or a line feed

// The number of grapheme clusters (what a user counts as characters).
size_t characterCount(std::string_view text);
// The first `count` grapheme clusters.
std::string prefixCharacters(std::string_view text, size_t count);

// Bytes as UTF-8 text with every ill-formed sequence replaced by U+FFFD.
std::string decodingLossily(std::string_view bytes);
bool isValidUTF8(std::string_view bytes);

} // namespace VedevaveApp::ProviderText
