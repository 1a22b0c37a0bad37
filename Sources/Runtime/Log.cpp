#include "Runtime/Log.h"

#include <string>
#include <unistd.h>

namespace Runtime {

void logLine(std::string_view line) {
    std::string text;
    text.reserve(line.size() + 1);
    for (char c : line) {
        text.push_back(c == '\n' || c == '\r' ? ' ' : c);
    }
    text.push_back('\n');
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n <= 0) {
            return;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace Runtime
