// The request framing state machine, fed exact bytes: where one request ends and the next begins,
// what a request is parsed into, and what is refused.
#include "VedevaveApp/LocalAPI/HttpRequestFraming.h"

#include <gtest/gtest.h>
#include <limits>

using VedevaveApp::HttpRequestFraming;
using VedevaveApp::LocalAPIRequest;

namespace {

using Failure = HttpRequestFraming::Failure;

// Every result until the framing asks for more bytes.
std::vector<HttpRequestFraming::Result> drain(HttpRequestFraming& framing) {
    std::vector<HttpRequestFraming::Result> results;
    for (int guard = 0; guard < 100; ++guard) {
        auto result = framing.next();
        if (std::holds_alternative<HttpRequestFraming::NeedMore>(result)) {
            break;
        }
        const bool isClosing =
            std::holds_alternative<Failure>(result) && std::get<Failure>(result).closesConnection;
        results.push_back(std::move(result));
        if (isClosing) {
            break;
        }
    }
    return results;
}

const LocalAPIRequest& requestAt(const std::vector<HttpRequestFraming::Result>& results, size_t index) {
    return std::get<LocalAPIRequest>(results.at(index));
}

const Failure& failureAt(const std::vector<HttpRequestFraming::Result>& results, size_t index) {
    return std::get<Failure>(results.at(index));
}

} // namespace

TEST(HttpRequestFraming, ContentLengthReadsTheFirstExactlyNamedLine) {
    struct Case {
        const char* block;
        int64_t expected;
    };
    const Case cases[] = {
        {"POST / HTTP/1.1\r\nContent-Length: 12", 12},
        {"POST / HTTP/1.1\r\ncontent-LENGTH:\t +7 ", 7},
        {"POST / HTTP/1.1\r\nContent-Length: -3", -3},
        {"POST / HTTP/1.1\r\nContent-Length: twelve", 0},
        {"POST / HTTP/1.1\r\nContent-Length: 12abc", 0},
        {"POST / HTTP/1.1\r\nContent-Length:", 0},
        {"POST / HTTP/1.1\r\nHost: x", 0},
        {"POST / HTTP/1.1\r\nContent-Length : 5", 0}, // the name is not trimmed
        {"POST / HTTP/1.1\r\n\r\nContent-Length: 4\r\nContent-Length: 9", 4},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999", std::numeric_limits<int64_t>::max()},
        {"", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HttpRequestFraming::contentLength(c.block), c.expected) << c.block;
    }
}

TEST(HttpRequestFraming, RequestSplitAcrossReadsIsFramedOnceWhenTheLastBodyByteArrives) {
    const std::string bytes = "POST /v1/tap HTTP/1.1\r\nContent-Length: 10\r\n\r\n{\"x\":0.25}";
    HttpRequestFraming framing;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        framing.append(bytes.substr(i, 1));
        ASSERT_TRUE(drain(framing).empty()) << "framed early at byte " << i;
    }
    framing.append(bytes.substr(bytes.size() - 1));
    auto results = drain(framing);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(requestAt(results, 0).body, "{\"x\":0.25}");
    EXPECT_FALSE(framing.hasBufferedBytes());
}

TEST(HttpRequestFraming, PipelinedRequestsComeOutInOrderAndLeftoversWait) {
    HttpRequestFraming framing;
    framing.append("GET /v1/help HTTP/1.1\r\n\r\n"
                   "POST /v1/wait HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}"
                   "GET /v1/sta");
    auto results = drain(framing);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(requestAt(results, 0).path, "/v1/help");
    EXPECT_EQ(requestAt(results, 1).path, "/v1/wait");
    EXPECT_EQ(requestAt(results, 1).body, "{}");
    EXPECT_TRUE(framing.hasBufferedBytes());

    framing.append("tus HTTP/1.1\r\n\r\nrest");
    results = drain(framing);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(requestAt(results, 0).path, "/v1/status");
    EXPECT_EQ(framing.takeBufferedBytes(), "rest");
}

TEST(HttpRequestFraming, UnparsableContentLengthMeansNoBody) {
    // The bytes meant as a body are read as the start of the next request.
    HttpRequestFraming framing;
    framing.append("POST /a HTTP/1.1\r\nContent-Length: ten\r\n\r\nGET /b HTTP/1.1\r\n\r\n");
    auto results = drain(framing);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(requestAt(results, 0).body, "");
    EXPECT_EQ(requestAt(results, 1).path, "/b");
}

TEST(HttpRequestFraming, RequestsThatCannotBeFramedCloseTheConnection) {
    struct Case {
        std::string bytes;
        int status;
    };
    HttpRequestFraming::Limits limits;
    const Case cases[] = {
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 8388609\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 411},
        {"GET / HTTP/1.1\r\nX: " + std::string(limits.maxHeaderBytes, 'a') + "\r\n\r\n", 431},
        {"GET / HTTP/1.1\r\nX: " + std::string(limits.maxHeaderBytes, 'a'), 431}, // no blank line yet
    };
    for (const auto& c : cases) {
        HttpRequestFraming framing;
        framing.append(c.bytes);
        auto results = drain(framing);
        ASSERT_EQ(results.size(), 1u) << c.bytes.substr(0, 60);
        EXPECT_EQ(failureAt(results, 0).status, c.status) << c.bytes.substr(0, 60);
        EXPECT_TRUE(failureAt(results, 0).closesConnection);
        // Nothing after a closing failure is framed.
        framing.append("GET /next HTTP/1.1\r\n\r\n");
        EXPECT_TRUE(std::holds_alternative<Failure>(framing.next()));
    }
}

TEST(HttpRequestFraming, BadRequestLinesAnswer400AndKeepTheConnection) {
    const std::string cases[] = {
        "GET\r\n\r\n",                   // one word
        "\r\n\r\n",                      // empty header block
        "GET ? HTTP/1.1\r\n\r\n",        // no path
        "GET /caf\xC3 HTTP/1.1\r\n\r\n", // not UTF-8
        "GET / HTTP/1.1\r\nX: \xFF\xFE\r\n\r\n",
    };
    for (const auto& bytes : cases) {
        HttpRequestFraming framing;
        framing.append(bytes + "GET /next HTTP/1.1\r\n\r\n");
        auto results = drain(framing);
        ASSERT_EQ(results.size(), 2u) << bytes;
        EXPECT_EQ(failureAt(results, 0).status, 400);
        EXPECT_EQ(failureAt(results, 0).error, "bad request");
        EXPECT_FALSE(failureAt(results, 0).closesConnection);
        EXPECT_EQ(requestAt(results, 1).path, "/next");
    }
}

TEST(HttpRequestFraming, BodyOfARequestWithNonUTF8HeadersIsStillSkipped) {
    HttpRequestFraming framing;
    framing.append("POST /a HTTP/1.1\r\nX: \xC0\xAF\r\nContent-Length: 20\r\n\r\nGET /smuggled HTTP/1.1"
                   "GET /next HTTP/1.1\r\n\r\n");
    auto results = drain(framing);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(failureAt(results, 0).status, 400);
    EXPECT_EQ(requestAt(results, 1).path, "/next");
}

TEST(HttpRequestFraming, RequestLineGivesMethodRawPathQueryAndHeaders) {
    HttpRequestFraming framing;
    framing.append("post   /v1/a%20b?MaxWidth=300&w=%2Fx%20y&w=2&flag&=v&e=&p=a+b&bad=%zz&hi=%ff HTTP/1.1\r\n"
                   "Host: 127.0.0.1:8090\r\nX-Thing:  spaced value \r\n\r\n");
    auto results = drain(framing);
    ASSERT_EQ(results.size(), 1u);
    const auto& request = requestAt(results, 0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/a%20b");
    const std::map<std::string, std::string> expected{
        {"maxwidth", "300"}, {"w", "2"}, {"p", "a+b"}, {"bad", "%zz"}, {"hi", "%ff"}};
    EXPECT_EQ(request.query, expected);
    EXPECT_EQ(request.header("HOST"), "127.0.0.1:8090");
    EXPECT_EQ(request.header("x-thing"), "spaced value");
    EXPECT_FALSE(request.header("origin"));
}

TEST(HttpRequestFraming, QueryValuesArePercentDecoded) {
    HttpRequestFraming framing;
    framing.append("GET /f?Name=%2Fx%20y%C3%A9 HTTP/1.1\r\n\r\n");
    auto results = drain(framing);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(requestAt(results, 0).query.at("name"), "/x y\xC3\xA9");
}
