// Diagnostic lines on standard error. Any thread may call; each line is written with one write
// call so that lines from different threads never interleave.
#pragma once

#include <string_view>

namespace Runtime {

// Writes `line` plus a newline to standard error. The caller includes its component prefix
// ("Vedevave: ", "MediaKit: ", ...). Embedded line breaks are replaced by spaces so that one
// diagnostic stays one line.
void logLine(std::string_view line);

} // namespace Runtime
