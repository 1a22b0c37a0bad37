#include "Platform/Clipboard.h"

#include "Runtime/Log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr std::string_view logPrefix = "Platform: clipboard ";

std::string nonEmptyEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Strict UTF-8 check (no overlong forms, no surrogates, nothing above U+10FFFF): the clipboard
// hands out text, and a phone or a recorder must never receive broken sequences.
bool isValidUTF8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        uint32_t scalar = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, scalar = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, scalar = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, scalar = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            scalar = (scalar << 6) | (next & 0x3F);
        }
        const bool isOverlong = (length == 3 && scalar < 0x800) || (length == 4 && scalar < 0x10000);
        if (isOverlong || (scalar >= 0xD800 && scalar <= 0xDFFF) || scalar > 0x10FFFF) {
            return false;
        }
        i += length;
    }
    return true;
}

// Creates the private folder of the default location, or checks that an existing one is ours:
// under /tmp another user could have created it first to read or plant our clipboard.
bool ensurePrivateDirectory(const std::filesystem::path& directory) {
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        Runtime::logLine(std::string(logPrefix) + "cannot create " + directory.string() + ": " +
                         std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        Runtime::logLine(std::string(logPrefix) + "folder " + directory.string() +
                         " is not a folder of this user; remove it and try again");
        return false;
    }
    return true;
}

std::mutex generalClipboardLock;
std::shared_ptr<Clipboard> installedClipboard; // guarded by generalClipboardLock

} // namespace

std::filesystem::path FileClipboard::defaultPath() {
    if (auto configured = nonEmptyEnvironment("VEDEVAVE_CLIPBOARD_FILE"); !configured.empty()) {
        return configured;
    }
    if (auto runtimeDirectory = nonEmptyEnvironment("XDG_RUNTIME_DIR"); !runtimeDirectory.empty()) {
        return std::filesystem::path(runtimeDirectory) / "vedevave" / "clipboard.txt";
    }
    return std::filesystem::path("/tmp") / ("vedevave-" + std::to_string(::getuid())) / "clipboard.txt";
}

std::optional<std::string> FileClipboard::readText() {
    const auto file = path();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt; // nothing was ever copied
    }
    std::string text;
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > maximumTextBytes) {
            Runtime::logLine(std::string(logPrefix) + file.string() + " is larger than 16 MiB; ignored");
            return std::nullopt;
        }
    }
    if (!isValidUTF8(text)) {
        Runtime::logLine(std::string(logPrefix) + file.string() + " does not hold UTF-8 text; ignored");
        return std::nullopt;
    }
    return text;
}

bool FileClipboard::writeText(std::string_view text) {
    const auto file = path();
    const auto directory = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    if (!fixedPath_ && nonEmptyEnvironment("VEDEVAVE_CLIPBOARD_FILE").empty()) {
        if (!ensurePrivateDirectory(directory)) {
            return false;
        }
    } else {
        std::error_code error;
        std::filesystem::create_directories(directory, error);
    }

    std::string temporary = (directory / ".clipboard-XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        Runtime::logLine(std::string(logPrefix) + "cannot write in " + directory.string() + ": " +
                         std::strerror(errno));
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Runtime::logLine(std::string(logPrefix) + "cannot write " + temporary + ": " +
                             std::strerror(errno));
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), file.c_str()) != 0) {
        Runtime::logLine(std::string(logPrefix) + "cannot replace " + file.string() + ": " +
                         std::strerror(errno));
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::shared_ptr<Clipboard> generalClipboard() {
    std::lock_guard lock(generalClipboardLock);
    if (!installedClipboard) {
        installedClipboard = std::make_shared<FileClipboard>();
    }
    return installedClipboard;
}

void setGeneralClipboard(std::shared_ptr<Clipboard> clipboard) {
    std::lock_guard lock(generalClipboardLock);
    installedClipboard = std::move(clipboard);
}

} // namespace Platform
