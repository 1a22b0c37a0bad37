// Arbitrary bytes as a model server's answer: reading it either yields a response or fails with a
// provider error; it never crashes, and whatever it yields can be written back as JSON.
#include "VedevaveApp/Providers/AIProviderConnectionTester.h"
#include "VedevaveApp/Providers/AgentProviderError.h"
#include "VedevaveApp/Providers/OpenAIChatWire.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    try {
        const auto response = VedevaveApp::OpenAIChatWire::decodeResponse(body, "fuzz-model");
        for (const auto& call : response.toolCalls) {
            (void)call.arguments.serialized();
        }
    } catch (const VedevaveApp::AgentProviderError&) {
    }
    (void)VedevaveApp::AIProviderConnectionTester::modelIDs(body);
    (void)VedevaveApp::AIProviderConnectionTester::errorMessage(body);
    return 0;
}
