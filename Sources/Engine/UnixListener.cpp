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

void UnixListener::startAccepting(std::function<void(Socket)> onClient) {
    asio::co_spawn(acceptor_.get_executor(), acceptLoop(std::move(onClient)), asio::detached);
}

asio::awaitable<void> UnixListener::acceptLoop(std::function<void(Socket)> onClient) {
    while (open_) {
        asio::error_code ec;
        Socket socket = co_await acceptor_.async_accept(asio::redirect_error(asio::use_awaitable, ec));
        if (ec == asio::error::operation_aborted || !open_) {
            co_return;
        }
        if (!ec) {
            onClient(std::move(socket));
            continue;
        }
        // Out of descriptors or the like: wait a little rather than spin on the same error.
        asio::steady_timer pause(acceptor_.get_executor(), std::chrono::milliseconds(50));
        co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, ec));
    }
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
