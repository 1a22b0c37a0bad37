// Arbitrary bytes from a client, delivered in arbitrary pieces: framing never crashes, never hands
// out more bytes than it was given, and cuts the same requests whatever the piece sizes.
#include "VedevaveApp/LocalAPI/HttpRequestFraming.h"

#include "VedevaveApp/LocalAPI/LocalAPIAccessPolicy.h"
#include "VedevaveApp/LocalAPI/LocalAPIHandlers.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using VedevaveApp::HttpRequestFraming;

// One line per result, so that two deliveries can be compared.
std::vector<std::string> frameAll(std::string_view bytes, size_t pieceSize) {
    HttpRequestFraming::Limits limits;
    limits.maxHeaderBytes = 4096;
    limits.maxBodyBytes = 4096;
    HttpRequestFraming framing(limits);
    std::vector<std::string> results;
    size_t handedOut = 0;
    for (size_t at = 0; at < bytes.size(); at += pieceSize) {
        framing.append(bytes.substr(at, pieceSize));
        for (;;) {
            auto result = framing.next();
            if (std::holds_alternative<HttpRequestFraming::NeedMore>(result)) {
                break;
            }
            if (auto* failure = std::get_if<HttpRequestFraming::Failure>(&result)) {
                results.push_back("failure " + std::to_string(failure->status));
                if (failure->closesConnection) {
                    return results;
                }
                continue;
            }
            auto& request = std::get<VedevaveApp::LocalAPIRequest>(result);
            handedOut += request.headerBlock.size() + request.body.size();
            if (handedOut > bytes.size()) {
                std::abort();
            }
            // The decisions that follow framing must cope with whatever was parsed.
            (void)VedevaveApp::targetOf(request);
            VedevaveApp::LocalAPIAccessPolicy policy;
            (void)policy.check(request, asio::ip::make_address("127.0.0.1"), 8090);
            results.push_back(request.method + " " + request.path + " " +
                              std::to_string(request.body.size()));
        }
    }
    return results;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)HttpRequestFraming::contentLength(bytes);
    if (size == 0) {
        return 0;
    }
    const auto whole = frameAll(bytes, size);
    const auto piecewise = frameAll(bytes, 1 + data[0] % 7);
    if (whole != piecewise) {
        std::abort();
    }
    return 0;
}
