// Arbitrary workflow file bytes: decoding and validation either accept or refuse with their own
// errors, never crash; what validates survives an encode and decode unchanged, and its display
// texts and file name can be computed.
#include "VedevaveApp/Workflows/Workflow.h"
#include "VedevaveApp/Workflows/WorkflowStore.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    VedevaveApp::Workflow workflow;
    try {
        workflow = VedevaveApp::decodeWorkflow(bytes);
    } catch (const VedevaveApp::WorkflowDecodingError&) {
        return 0;
    }
    for (const auto& step : workflow.steps) {
        (void)step.title();
        (void)step.summary();
        (void)step.detail();
    }
    (void)VedevaveApp::WorkflowStore::fileName(workflow.name);
    try {
        VedevaveApp::WorkflowStore::validate(workflow);
    } catch (const VedevaveApp::WorkflowStoreError&) {
        return 0;
    }
    if (VedevaveApp::decodeWorkflow(VedevaveApp::encodeWorkflow(workflow)) != workflow) {
        std::abort();
    }
    return 0;
}
