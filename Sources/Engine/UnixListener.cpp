#include "Engine/UnixListener.h"

#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace Engine {

UnixListener::UnixListener(asio::io_context& io, std::string path) : path_(std::move(path)), acceptor_(io) {
    if (path_.size() > maxPathBytes) {
        throw std::invalid_argument("socket path longer than 103 bytes: " + path_);
    }
    // Only a socket file is replaced; anything else at the path is an error the bind reports.
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
        ::unlink(path_.c_str());
    }
    const asio::local::stream_protocol::endpoint endpoint(path_);
    acceptor_.open(endpoint.protocol());
    acceptor_.bind(endpoint);
    open_ = true;
    acceptor_.listen(asio::socket_base::max_listen_connections);
}

UnixListener::~UnixListener() {
    close();
}

void UnixListener::close() {
    if (!open_) {
        return;
    }
    open_ = false;
    asio::error_code ignored;
    acceptor_.close(ignored);
    ::unlink(path_.c_str());
}

} // namespace Engine
