// Arbitrary argument vectors: parsing never fails and never reads past the vector.
#include "VedevaveApp/App/AppArgs.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments{"vedevave"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    arguments.push_back(current);
    auto parsed = VedevaveApp::AppArgs::parseWithoutExiting(arguments);
    (void)parsed.args.validatedHttpPort();
    (void)parsed.args.initialAspectRatio();
    return 0;
}
