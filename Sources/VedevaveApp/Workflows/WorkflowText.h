// The text rules workflows share: a character is a grapheme cluster (what the user sees as one
// character), white space is Unicode's White_Space, and every limit is counted on well-formed
// UTF-8. Pure functions over ICU; any thread may call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace VedevaveApp::WorkflowText {

bool isValidUTF8(std::string_view text);

// The number of grapheme clusters. Ill-formed bytes count as replacement characters.
std::size_t characterCount(std::string_view text);

// The longest prefix of at most `maxCharacters` grapheme clusters and at most `maxBytes` bytes,
// always cut on a cluster boundary.
std::string prefix(std::string_view text, std::size_t maxCharacters,
                   std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Calls `visit` with each grapheme cluster in order until it returns false.
void forEachCharacter(std::string_view text, const std::function<bool(std::string_view)>& visit);

// `text` without white space and line breaks at either end.
std::string trimmed(std::string_view text);

// True when `text` is well-formed UTF-8 and every Unicode scalar in it satisfies `allowed`.
bool allScalars(std::string_view text, const std::function<bool(char32_t)>& allowed);

// First letter of each word upper case, the rest lower case ("volume-up" gives "Volume-Up").
std::string capitalized(std::string_view text);

} // namespace VedevaveApp::WorkflowText
