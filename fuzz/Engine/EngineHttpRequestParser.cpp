// Fuzz target: the engine's HTTP/1.1 request parser over hostile bytes, fed in two pieces. Every
// request it yields must have a method, a path starting with '/', and a body no longer than the
// limit; an error must carry one of the statuses the server answers with.
#include "Engine/HttpRequestParser.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Engine::HttpParserLimits limits;
    limits.maxHeadBytes = 2048;
    limits.maxBodyBytes = 512;
    Engine::HttpRequestParser parser(limits);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t cut = size / 2;
    for (const std::string_view piece : {input.substr(0, cut), input.substr(cut)}) {
        parser.feed(piece);
        for (;;) {
            Engine::HttpRequest request;
            const auto status = parser.next(request);
            if (status == Engine::HttpRequestParser::Status::request) {
                if (request.method.empty() || request.path.empty() || request.path[0] != '/' ||
                    request.body.size() > limits.maxBodyBytes) {
                    std::abort();
                }
                request.queryValue("touches");
                request.header("content-length");
                continue;
            }
            if (status == Engine::HttpRequestParser::Status::error) {
                const int code = parser.errorStatus();
                if (code != 400 && code != 413 && code != 431 && code != 501 && code != 505) {
                    std::abort();
                }
                return 0;
            }
            break;
        }
    }
    return 0;
}
