#include "Platform/CredentialStore.h"

#include "Platform/Environment.h"
#include "Platform/Paths.h"
#include "Runtime/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gio/gio.h>
#include <libsecret/secret.h>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// ---- Secret Service ----

const SecretSchema* credentialSchema() {
    static const SecretSchema schema = {"app.vedevave.Credential",
                                        SECRET_SCHEMA_NONE,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, {}}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

[[noreturn]] void throwFrom(GError* error, const char* fallback) {
    std::string message = error && error->message && *error->message ? error->message : fallback;
    if (error) {
        g_error_free(error);
    }
    throw CredentialStoreError(CredentialStoreError::Kind::failure, message);
}

// ---- file ----

[[noreturn]] void throwErrno(const std::string& what) {
    throw CredentialStoreError(CredentialStoreError::Kind::failure, what + ": " + std::strerror(errno));
}

// Holds an exclusive lock on "<folder>/.lock" so that two processes never interleave their
// read-modify-write cycles.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder) {
        fd_ = ::open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            throwErrno("cannot open the credential lock file");
        }
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() { ::close(fd_); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

void ensurePrivateFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        throwErrno("cannot create the credential folder " + folder.string());
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        throw CredentialStoreError(CredentialStoreError::Kind::failure, "the credential folder " +
                                                                            folder.string() +
                                                                            " is not a folder of this user");
    }
    if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
        throwErrno("cannot restrict the credential folder " + folder.string());
    }
}

// The file's text, or nothing when it does not exist. A file others could read is tightened.
std::optional<std::string> readPrivateFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        throwErrno("cannot open " + file.string());
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw CredentialStoreError(CredentialStoreError::Kind::failure,
                                   file.string() + " is not a regular file");
    }
    if ((info.st_mode & 0077) != 0) {
        ::fchmod(fd, 0600);
    }
    std::string text;
    char buffer[8192];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            throwErrno("cannot read " + file.string());
        }
        text.append(buffer, static_cast<size_t>(count));
    }
    ::close(fd);
    return text;
}

// Writes a temporary file (created 0600), flushes it and renames it over `file`, so that a crash
// leaves either the old or the new document, never a torn one.
void replacePrivateFile(const std::filesystem::path& file, const std::string& text) {
    std::string pattern = (file.parent_path() / ".tokens.XXXXXX").string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        throwErrno("cannot create a file in " + file.parent_path().string());
    }
    ::fchmod(fd, 0600);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            ::close(fd);
            ::unlink(pattern.c_str());
            throwErrno("cannot write " + file.string());
        }
        written += static_cast<size_t>(count);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(pattern.c_str());
        throwErrno("cannot write " + file.string());
    }
    if (::rename(pattern.c_str(), file.c_str()) != 0) {
        ::unlink(pattern.c_str());
        throwErrno("cannot replace " + file.string());
    }
}

} // namespace

bool secretServiceAnswers(std::chrono::milliseconds timeout) {
    // GIO would otherwise try to autolaunch a bus through X11 when none is configured.
    const auto address = Environment::nonEmpty("DBUS_SESSION_BUS_ADDRESS");
    const auto runtime = Environment::nonEmpty("XDG_RUNTIME_DIR");
    if (!address && !(runtime && std::filesystem::exists(std::filesystem::path(*runtime) / "bus"))) {
        return false;
    }
    GError* error = nullptr;
    GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!connection) {
        g_clear_error(&error);
        return false;
    }
    // The bus connection is shared process-wide; losing the bus must not end the application.
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    GVariant* reply = g_dbus_connection_call_sync(
        connection, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.DBus.Peer",
        "Ping", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, static_cast<int>(timeout.count()), nullptr, &error);
    const bool answered = reply != nullptr;
    if (reply) {
        g_variant_unref(reply);
    }
    g_clear_error(&error);
    g_object_unref(connection);
    return answered;
}

std::shared_ptr<CredentialStore> CredentialStore::makeDefault(std::chrono::milliseconds probeTimeout) {
    if (secretServiceAnswers(probeTimeout)) {
        Runtime::logLine("CredentialStore: keeping tokens in the Secret Service");
        return std::make_shared<SecretServiceCredentialStore>();
    }
    auto store = std::make_shared<FileCredentialStore>(Paths::dataDirectory() / "credentials");
    Runtime::logLine("CredentialStore: no Secret Service answers on the session bus; keeping tokens in " +
                     store->file().string() + " (readable only by this user)");
    return store;
}

// ---- SecretServiceCredentialStore ----

std::optional<std::string> SecretServiceCredentialStore::read(const std::string& service,
                                                              const std::string& account) {
    GError* error = nullptr;
    gchar* secret = secret_password_lookup_sync(credentialSchema(), nullptr, &error, "service",
                                                service.c_str(), "account", account.c_str(), nullptr);
    if (error) {
        throwFrom(error, "the Secret Service did not answer");
    }
    if (!secret) {
        return std::nullopt;
    }
    std::string value(secret);
    secret_password_free(secret);
    if (!g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr)) {
        throw CredentialStoreError(CredentialStoreError::Kind::unexpectedData,
                                   "the stored secret is not text");
    }
    return value;
}

void SecretServiceCredentialStore::write(const std::string& service, const std::string& account,
                                         const std::string& secret) {
    GError* error = nullptr;
    const std::string label = "Vedevave " + service + " " + account;
    const gboolean stored = secret_password_store_sync(
        credentialSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), nullptr, &error,
        "service", service.c_str(), "account", account.c_str(), nullptr);
    if (!stored || error) {
        throwFrom(error, "the Secret Service refused to store the item");
    }
}

void SecretServiceCredentialStore::remove(const std::string& service, const std::string& account) {
    GError* error = nullptr;
    // Returns false without an error when there was nothing to delete.
    secret_password_clear_sync(credentialSchema(), nullptr, &error, "service", service.c_str(), "account",
                               account.c_str(), nullptr);
    if (error) {
        throwFrom(error, "the Secret Service refused to delete the item");
    }
}

// ---- FileCredentialStore ----

FileCredentialStore::FileCredentialStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::optional<std::string> FileCredentialStore::read(const std::string& service, const std::string& account) {
    std::lock_guard guard(mutex_);
    if (!std::filesystem::exists(folder_)) {
        return std::nullopt;
    }
    ensurePrivateFolder(folder_);
    FolderLock lock(folder_);
    const auto text = readPrivateFile(file());
    if (!text) {
        return std::nullopt;
    }
    const auto document = nlohmann::json::parse(*text, nullptr, false);
    if (!document.is_object()) {
        throw CredentialStoreError(CredentialStoreError::Kind::failure, file().string() + " is damaged");
    }
    const auto services = document.find(service);
    if (services == document.end() || !services->is_object()) {
        return std::nullopt;
    }
    const auto item = services->find(account);
    if (item == services->end()) {
        return std::nullopt;
    }
    if (!item->is_string()) {
        throw CredentialStoreError(CredentialStoreError::Kind::unexpectedData,
                                   "the stored secret is not text");
    }
    return item->get<std::string>();
}

template <typename Change>
void FileCredentialStore::modify(Change change) {
    std::lock_guard guard(mutex_);
    ensurePrivateFolder(folder_);
    FolderLock lock(folder_);
    auto document = nlohmann::json::object();
    if (const auto text = readPrivateFile(file())) {
        document = nlohmann::json::parse(*text, nullptr, false);
        if (!document.is_object()) {
            // Keep the damaged bytes for the user rather than overwriting them.
            const auto aside = folder_ / "tokens.json.damaged";
            std::error_code error;
            std::filesystem::rename(file(), aside, error);
            Runtime::logLine("CredentialStore: " + file().string() + " could not be read; moved it to " +
                             aside.string());
            document = nlohmann::json::object();
        }
    }
    if (!change(document)) {
        return;
    }
    replacePrivateFile(file(), document.dump(2) + "\n");
}

void FileCredentialStore::write(const std::string& service, const std::string& account,
                                const std::string& secret) {
    modify([&](nlohmann::json& document) {
        if (!document[service].is_object()) {
            document[service] = nlohmann::json::object();
        }
        document[service][account] = secret;
        return true;
    });
}

void FileCredentialStore::remove(const std::string& service, const std::string& account) {
    if (!std::filesystem::exists(file())) {
        return;
    }
    modify([&](nlohmann::json& document) {
        auto services = document.find(service);
        if (services == document.end() || !services->is_object() || !services->contains(account)) {
            return false;
        }
        services->erase(account);
        if (services->empty()) {
            document.erase(service);
        }
        return true;
    });
}

} // namespace Platform
