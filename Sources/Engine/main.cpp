// DaridiveVarara: the simulated phone engine. Parses the launch contract and runs the engine on
// this thread until a terminate signal.
#include "Engine/EngineApp.h"
#include "Engine/EngineOptions.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Writes to a vanished peer must fail with EPIPE, not kill the engine.
    std::signal(SIGPIPE, SIG_IGN);
    // Console lines go out as they happen; the application copies them to its own stderr.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = Engine::parseEngineOptions(arguments, Engine::processEnvironment());
    if (parsed.wantsHelp) {
        std::fputs(Engine::engineUsageText, stdout);
        return Engine::ExitStatus::clean;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "DaridiveVarara: %s\n%s", parsed.error.c_str(), Engine::engineUsageText);
        return Engine::ExitStatus::badArguments;
    }
    Engine::EngineApp app(*parsed.options);
    return app.run();
}
