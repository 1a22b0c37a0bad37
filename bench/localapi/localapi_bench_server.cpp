// The local API server with a route table of one entry: GET /v1/status answers a status object of
// the application's shape. Handlers run on the main executor, as in the application, so the figure
// includes both thread hops of a real request. Usage: localapi_bench_server PORT
#include "Runtime/Executors.h"
#include "VedevaveApp/LocalAPI/LocalAPIServer.h"

#include <asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

using VedevaveApp::LocalAPIRequest;
using VedevaveApp::LocalAPIResponse;

asio::awaitable<LocalAPIResponse> route(LocalAPIRequest request) {
    if (request.method == "GET" && request.path == "/v1/status") {
        co_return LocalAPIResponse::json(200, {{"ok", true},
                                               {"api", "vedevave-local"},
                                               {"version", 3},
                                               {"connected", true},
                                               {"device", "Simulated iPhone"},
                                               {"codec", "H.264"},
                                               {"state", "Connected"},
                                               {"engineAlive", true},
                                               {"displayFps", 60.0},
                                               {"captureFps", 30.0},
                                               {"apiPort", 8090}});
    }
    co_return LocalAPIResponse::json(404, {{"ok", false}, {"error", "not found"}, {"path", request.path}});
}

} // namespace

int main(int argc, char** argv) {
    const auto port = static_cast<uint16_t>(argc > 1 ? std::atoi(argv[1]) : 0);
    auto& server = VedevaveApp::LocalAPIServer::shared();
    server.setHandler(route);
    server.start(port);
    if (!server.isRunning()) {
        return 1;
    }
    std::printf("listening %u\n", server.port());
    std::fflush(stdout);
    asio::signal_set signals(Runtime::mainContext(), SIGINT, SIGTERM);
    signals.async_wait([](const asio::error_code&, int) { Runtime::stopMain(); });
    Runtime::runMain();
    server.stop();
    return 0;
}
