#include "Platform/PreferenceStore.h"

#include "Platform/Paths.h"
#include "Runtime/Clock.h"
#include "Runtime/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace Platform {

namespace {
std::mutex sharedMutex;
std::shared_ptr<PreferenceStore>& sharedSlot() {
    static std::shared_ptr<PreferenceStore> store;
    return store;
}

// Holds an exclusive lock on "<file>.lock" for one read-modify-write cycle.
class FileLock {
public:
    explicit FileLock(const fs::path& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            ::close(fd_); // releases the lock
        }
    }

private:
    int fd_ = -1;
};
} // namespace

std::optional<bool> PreferenceStore::boolValue(const std::string& key) {
    auto stored = value(key);
    if (stored && stored->is_boolean()) {
        return stored->get<bool>();
    }
    return std::nullopt;
}

std::optional<int64_t> PreferenceStore::integerValue(const std::string& key) {
    auto stored = value(key);
    if (stored && stored->is_number_integer()) {
        return stored->get<int64_t>();
    }
    return std::nullopt;
}

std::optional<std::string> PreferenceStore::stringValue(const std::string& key) {
    auto stored = value(key);
    if (stored && stored->is_string()) {
        return stored->get<std::string>();
    }
    return std::nullopt;
}

PreferenceStore& PreferenceStore::shared() {
    std::lock_guard lock(sharedMutex);
    auto& store = sharedSlot();
    if (!store) {
        store = std::make_shared<FilePreferenceStore>(Paths::configDirectory() / "preferences.json");
    }
    return *store;
}

void PreferenceStore::setShared(std::shared_ptr<PreferenceStore> store) {
    std::lock_guard lock(sharedMutex);
    sharedSlot() = std::move(store);
}

std::optional<json> MemoryPreferenceStore::value(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return *found;
}

void MemoryPreferenceStore::setValue(const std::string& key, const json& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

void MemoryPreferenceStore::removeValue(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

FilePreferenceStore::FilePreferenceStore(fs::path file) : file_(std::move(file)) {}

FilePreferenceStore::Identity FilePreferenceStore::currentIdentity() const {
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0) {
        return {};
    }
    return Identity{true, static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                    static_cast<uint64_t>(info.st_size), static_cast<uint64_t>(info.st_ino)};
}

void FilePreferenceStore::refreshLocked() {
    const Identity identity = currentIdentity();
    if (loaded_ && *loaded_ == identity) {
        return;
    }
    loaded_ = identity;
    values_ = json::object();
    if (!identity.exists) {
        return;
    }
    std::ifstream in(file_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    json parsed = json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
    if (!in.bad() && parsed.is_object()) {
        values_ = std::move(parsed);
        return;
    }
    // Keep the unreadable document for the user instead of overwriting it with the next write.
    std::string stamp = Runtime::iso8601Now();
    for (char& c : stamp) {
        if (c == ':') {
            c = '-';
        }
    }
    fs::path aside = file_;
    aside += ".unreadable-" + stamp;
    std::error_code error;
    fs::rename(file_, aside, error);
    Runtime::logLine("Vedevave: preferences file " + file_.string() + " is unreadable; " +
                     (error ? "ignored it" : "moved it to " + aside.string()) + " and using defaults");
    loaded_ = currentIdentity();
}

void FilePreferenceStore::writeLocked() {
    std::error_code error;
    fs::create_directories(file_.parent_path(), error);
    fs::path temporary = file_;
    temporary += ".tmp-XXXXXX";
    std::string pattern = temporary.string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        Runtime::logLine("Vedevave: cannot save preferences to " + file_.string() + ": " + std::strerror(errno));
        return;
    }
    const std::string text = values_.dump(2) + "\n";
    bool ok = true;
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(pattern.c_str(), file_.c_str()) != 0) {
        Runtime::logLine("Vedevave: cannot save preferences to " + file_.string() + ": " + std::strerror(errno));
        ::unlink(pattern.c_str());
        return;
    }
    loaded_ = currentIdentity();
}

void FilePreferenceStore::mutate(const std::string& key, const std::optional<json>& value) {
    std::lock_guard lock(mutex_);
    std::error_code error;
    fs::create_directories(file_.parent_path(), error);
    fs::path lockPath = file_;
    lockPath += ".lock";
    FileLock fileLock(lockPath);
    refreshLocked(); // another process may have written since we last read
    if (value) {
        values_[key] = *value;
    } else if (values_.contains(key)) {
        values_.erase(key);
    } else {
        return;
    }
    writeLocked();
}

std::optional<json> FilePreferenceStore::value(const std::string& key) {
    std::lock_guard lock(mutex_);
    refreshLocked();
    auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return *found;
}

void FilePreferenceStore::setValue(const std::string& key, const json& value) { mutate(key, value); }

void FilePreferenceStore::removeValue(const std::string& key) { mutate(key, std::nullopt); }

} // namespace Platform
