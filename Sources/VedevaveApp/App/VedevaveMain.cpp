#include "VedevaveApp/App/VedevaveMain.h"

#include "VedevaveApp/App/AppDelegate.h"
#include "Runtime/Executors.h"
#include "Runtime/HttpClient.h"
#include "Runtime/Log.h"

#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdlib>
#include <vector>

namespace VedevaveApp::VedevaveMain {

namespace {
bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}
} // namespace

int main(int argc, char** argv) {
    // Before any thread exists.
    Runtime::initializeHttp();
    std::signal(SIGPIPE, SIG_IGN);

    AppArgs args = AppArgs::parse(std::vector<std::string>(argv, argv + argc));
    if (!args.headless) {
        if (hasDisplay()) {
            Runtime::logLine("Vedevave: this build has no desktop window yet; running headless");
        }
        args.headless = true;
    }

    AppDelegate delegate(std::move(args));
    asio::signal_set signals(Runtime::mainContext(), SIGINT, SIGTERM);
    signals.async_wait([&delegate](const std::error_code& error, int signal) {
        if (error) {
            return;
        }
        Runtime::logLine(std::string("Vedevave: ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                         ", shutting down");
        delegate.applicationWillTerminate();
        Runtime::stopMain();
    });
    Runtime::postToMain([&delegate] { delegate.applicationDidFinishLaunching(); });
    Runtime::runMain();
    return 0;
}

} // namespace VedevaveApp::VedevaveMain
