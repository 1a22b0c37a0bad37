#include "VedevaveApp/Workflows/WorkflowStore.h"

#include "Platform/Environment.h"
#include "Platform/Paths.h"
#include "VedevaveApp/Workflows/WorkflowText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace VedevaveApp::WorkflowStore {

namespace fs = std::filesystem;

namespace {

// The line of the top-level CMakeLists.txt that tells this project's source tree apart from any
// other folder with a build file.
constexpr std::string_view projectMarker = "project(Vedevave";
constexpr std::size_t markerReadBytes = 64 * 1024;

std::mutex callbackLock;
std::function<void()> onLibraryChanged; // guarded by callbackLock

[[noreturn]] void throwErrno(const std::string& what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// Closes a descriptor on every path out of a load; a failure to close is of no consequence.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Absolute, "." and ".." resolved, without a trailing separator.
fs::path standardized(const fs::path& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        absolute = path;
    }
    fs::path normal = absolute.lexically_normal();
    if (normal.has_relative_path() && normal.filename().empty()) {
        normal = normal.parent_path();
    }
    return normal;
}

bool isInside(const fs::path& file, const fs::path& folder) {
    const std::string fileText = file.string();
    std::string folderText = folder.string();
    if (fileText == folderText) {
        return true;
    }
    if (folderText.empty() || folderText.back() != '/') {
        folderText.push_back('/');
    }
    return fileText.starts_with(folderText);
}

bool holdsProjectBuildFile(const fs::path& folder) {
    std::error_code error;
    const fs::path buildFile = folder / "CMakeLists.txt";
    if (!fs::is_regular_file(buildFile, error)) {
        return false;
    }
    std::ifstream stream(buildFile, std::ios::binary);
    std::string head(markerReadBytes, '\0');
    stream.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(stream.gcount()));
    return head.find(projectMarker) != std::string::npos;
}

std::string readAtMost(int fd, std::size_t limit, const fs::path& path) {
    std::string bytes;
    std::size_t total = 0;
    bytes.resize(std::min<std::size_t>(limit, 64 * 1024));
    for (;;) {
        if (total == bytes.size()) {
            if (bytes.size() >= limit) {
                break;
            }
            bytes.resize(std::min(limit, bytes.size() * 2));
        }
        const ssize_t got = ::read(fd, bytes.data() + total, bytes.size() - total);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwErrno("cannot read workflow file", path, errno);
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    bytes.resize(total);
    return bytes;
}

void writeAll(int fd, std::string_view bytes, const fs::path& path) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwErrno("cannot write workflow file", path, errno);
        }
        written += static_cast<std::size_t>(put);
    }
}

} // namespace

const std::set<std::string, std::less<>>& allowedButtons() {
    static const std::set<std::string, std::less<>> names{"home",      "lock",        "apps", "cc",
                                                          "volume-up", "volume-down", "mute"};
    return names;
}

std::optional<fs::path> developmentDirectory(const fs::path& start) {
    fs::path folder = standardized(start);
    for (int examined = 0; examined < developmentSearchDepth; ++examined) {
        if (holdsProjectBuildFile(folder)) {
            return folder / "Workflows";
        }
        if (!folder.has_relative_path()) {
            break; // the root
        }
        folder = folder.parent_path();
    }
    return std::nullopt;
}

std::optional<fs::path> developmentDirectory() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return std::nullopt;
    }
    return developmentDirectory(executable.parent_path());
}

fs::path directory() {
    fs::path chosen;
    if (auto configured = Platform::Environment::nonEmpty("VEDEVAVE_WORKFLOWS_DIR")) {
        chosen = *configured;
    } else if (auto development = developmentDirectory()) {
        chosen = *development;
    } else {
        chosen = Platform::Paths::documentsDirectory() / "Vedevave" / "Workflows";
    }
    std::error_code ignored;
    fs::create_directories(chosen, ignored);
    return chosen;
}

std::string fileName(std::string_view workflowName) {
    std::string stem;
    const std::string shown = WorkflowText::trimmed(workflowName);
    stem.reserve(shown.size());
    for (const char c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        stem.push_back(c == '/' || c == ':' || byte < 32 || byte == 127 ? '-' : c);
    }
    if (!stem.empty() && stem.front() == '.') {
        stem.front() = '-';
    }
    stem = WorkflowText::prefix(stem, maximumFileNameCharacters, maximumFileNameStemBytes);
    if (stem.empty()) {
        stem = "Workflow";
    }
    return stem + ".json";
}

fs::path url(std::string_view workflowName) {
    return directory() / fileName(workflowName);
}

std::vector<fs::path> list() {
    struct Entry {
        fs::path path;
        std::optional<fs::file_time_type> modified;
    };
    std::vector<Entry> entries;
    std::error_code error;
    fs::directory_iterator iterator(directory(), error);
    if (error) {
        return {};
    }
    for (auto end = fs::directory_iterator(); iterator != end; iterator.increment(error)) {
        if (error) {
            break;
        }
        const fs::path& path = iterator->path();
        const std::string name = path.filename().string();
        std::string extension = path.extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::error_code entryError;
        if (name.starts_with(".") || extension != ".json" || iterator->is_directory(entryError)) {
            continue;
        }
        Entry entry{path, std::nullopt};
        const auto modified = iterator->last_write_time(entryError);
        if (!entryError) {
            entry.modified = modified;
        }
        entries.push_back(std::move(entry));
    }
    // Newest first; an unreadable date counts as infinitely old; the name breaks ties so that the
    // order is stable.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.modified.has_value() != b.modified.has_value()) {
            return a.modified.has_value();
        }
        if (a.modified && *a.modified != *b.modified) {
            return *a.modified > *b.modified;
        }
        return a.path < b.path;
    });
    std::vector<fs::path> files;
    for (std::size_t i = 0; i < entries.size() && i < maximumListedFiles; ++i) {
        files.push_back(std::move(entries[i].path));
    }
    return files;
}

fs::path validatedManagedFileURL(const fs::path& file) {
    const fs::path library = standardized(directory());
    const fs::path candidate = standardized(file);
    if (!isInside(candidate, library)) {
        throw WorkflowStoreError::importBlocked();
    }
    struct stat info {};
    if (::lstat(candidate.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        throw WorkflowStoreError::invalidFile();
    }
    std::error_code error;
    fs::path resolvedLibrary = fs::weakly_canonical(library, error);
    if (error) {
        resolvedLibrary = library;
    }
    fs::path resolvedFile = fs::weakly_canonical(candidate, error);
    if (error) {
        throw WorkflowStoreError::importBlocked();
    }
    resolvedLibrary = standardized(resolvedLibrary);
    resolvedFile = standardized(resolvedFile);
    if (!isInside(resolvedFile, resolvedLibrary)) {
        throw WorkflowStoreError::importBlocked();
    }
    return resolvedFile;
}

Workflow load(const fs::path& file) {
    const fs::path resolved = validatedManagedFileURL(file);
    struct stat info {};
    if (::lstat(resolved.c_str(), &info) != 0) {
        throwErrno("cannot read workflow file", resolved, errno);
    }
    if (S_ISLNK(info.st_mode) || !S_ISREG(info.st_mode)) {
        throw WorkflowStoreError::invalidFile();
    }
    if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maximumFileBytes) {
        throw WorkflowStoreError::fileTooLarge();
    }
    // No following of links and no waiting on a special file that replaced the checked one.
    FileDescriptor fd(::open(resolved.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ELOOP) {
            throw WorkflowStoreError::invalidFile();
        }
        throwErrno("cannot open workflow file", resolved, errno);
    }
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        throw WorkflowStoreError::invalidFile();
    }
    const std::string bytes = readAtMost(fd.get(), maximumFileBytes + 1, resolved);
    if (bytes.size() > maximumFileBytes) {
        throw WorkflowStoreError::fileTooLarge();
    }
    Workflow workflow = decodeWorkflow(bytes);
    validate(workflow);
    return workflow;
}

void writeAtomically(const fs::path& file, std::string_view bytes) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    // A hidden name, so that a listing never shows a half-written file.
    std::string pattern = (folder / ("." + file.filename().string() + ".tmp-XXXXXX")).string();
    FileDescriptor fd(::mkstemp(pattern.data()));
    if (fd.get() < 0) {
        throwErrno("cannot create temporary workflow file", file, errno);
    }
    const fs::path temporary = pattern;
    try {
        writeAll(fd.get(), bytes, temporary);
        if (::fchmod(fd.get(), 0644) != 0 || ::fsync(fd.get()) != 0) {
            throwErrno("cannot write workflow file", temporary, errno);
        }
        if (::close(fd.release()) != 0) {
            throwErrno("cannot write workflow file", temporary, errno);
        }
        if (::rename(temporary.c_str(), file.c_str()) != 0) {
            throwErrno("cannot replace workflow file", file, errno);
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

fs::path save(const Workflow& workflow) {
    validate(workflow);
    const std::string encoded = encodeWorkflow(workflow);
    if (encoded.size() > maximumFileBytes) {
        throw WorkflowStoreError::fileTooLarge();
    }
    const fs::path file = url(workflow.name);
    writeAtomically(file, encoded);
    std::function<void()> callback;
    {
        std::lock_guard guard(callbackLock);
        callback = onLibraryChanged;
    }
    if (callback) {
        callback();
    }
    return file;
}

fs::path exportWorkflow(std::string_view workflowName, const fs::path& destination) {
    const Workflow workflow = load(url(workflowName));
    const std::string encoded = encodeWorkflow(workflow);
    std::string extension = destination.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    fs::path target = destination;
    if (extension != ".json") {
        fs::create_directories(destination);
        target = destination / fileName(workflowName);
    }
    writeAtomically(target, encoded);
    return target;
}

void setOnLibraryChanged(std::function<void()> callback) {
    std::lock_guard guard(callbackLock);
    onLibraryChanged = std::move(callback);
}

} // namespace VedevaveApp::WorkflowStore
