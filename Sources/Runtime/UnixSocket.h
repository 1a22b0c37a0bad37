// Blocking Unix-domain socket helpers shared by discovery, the HID client and the video reader.
// Every descriptor is close-on-exec, and writes never raise SIGPIPE.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>

namespace Runtime {

// The longest path a socket address may carry: the portable path field is 104 bytes, one of which
// is the terminating zero.
inline constexpr size_t maxUnixSocketPathLength = 103;

// The address for `path`, or nothing when the path is empty or longer than the limit above.
std::optional<sockaddr_un> unixAddress(const std::string& path);

// A connected stream socket, or -1 with errno set (ENAMETOOLONG for an over-long path).
int connectUnixStream(const std::string& path);

// Applies send and receive timeouts to a blocking socket; 0 means none.
void setSocketTimeouts(int fd, int timeoutMs);

// Writes all bytes, continuing after partial writes. False when a write returns 0 or fails.
bool sendAll(int fd, const void* data, size_t length);

// Reads exactly `length` bytes. False on end of stream, error or timeout before all arrived.
bool receiveExact(int fd, void* data, size_t length);

// Sends `length` bytes (at least one) together with descriptor `passed` (SCM_RIGHTS).
bool sendWithDescriptor(int fd, const void* data, size_t length, int passed);

// Receives up to `length` bytes and, if one came along, a descriptor into `*received` (else -1).
// Returns the byte count, 0 at end of stream, -1 on error. Received descriptors are close-on-exec.
long receiveWithDescriptor(int fd, void* data, size_t length, int* received);

// Closes a descriptor when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool isValid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

} // namespace Runtime
