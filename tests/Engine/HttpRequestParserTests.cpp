// Pure tests of the control server's HTTP/1.1 request framing.
#include "Engine/HttpRequestParser.h"

#include <gtest/gtest.h>

using namespace Engine;
using Status = HttpRequestParser::Status;

TEST(HttpRequestParser, ParsesAGetWithQuery) {
    HttpRequestParser parser;
    parser.feed("GET /debug/state?touches=10&keys=2 HTTP/1.1\r\nHost: x\r\n\r\n");
    HttpRequest request;
    ASSERT_EQ(parser.next(request), Status::request);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/debug/state");
    EXPECT_EQ(request.queryValue("touches"), "10");
    EXPECT_EQ(request.queryValue("keys"), "2");
    EXPECT_EQ(request.queryValue("buttons"), "");
    EXPECT_TRUE(request.keepAlive);
    EXPECT_EQ(*request.header("host"), "x");
    EXPECT_EQ(parser.next(request), Status::needMore);
}

TEST(HttpRequestParser, ParsesAPostBodyArrivingByteByByte) {
    const std::string wire = "POST /touch HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: "
                             "13\r\n\r\n{\"x\":1,\"y\":2}";
    HttpRequestParser parser;
    HttpRequest request;
    for (size_t i = 0; i + 1 < wire.size(); ++i) {
        parser.feed(wire.substr(i, 1));
        ASSERT_EQ(parser.next(request), Status::needMore) << "after byte " << i;
    }
    parser.feed(wire.substr(wire.size() - 1));
    ASSERT_EQ(parser.next(request), Status::request);
    EXPECT_EQ(request.body, "{\"x\":1,\"y\":2}");
}

TEST(HttpRequestParser, PipelinedRequestsComeOutInOrder) {
    HttpRequestParser parser;
    parser.feed("POST /a HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}GET /b HTTP/1.1\r\n\r\nGET /c "
                "HTTP/1.1\r\nConnection: close\r\n\r\nGET /d");
    HttpRequest a, b, c, d;
    ASSERT_EQ(parser.next(a), Status::request);
    ASSERT_EQ(parser.next(b), Status::request);
    ASSERT_EQ(parser.next(c), Status::request);
    EXPECT_EQ(parser.next(d), Status::needMore);
    EXPECT_EQ(a.path, "/a");
    EXPECT_EQ(a.body, "{}");
    EXPECT_EQ(b.path, "/b");
    EXPECT_EQ(c.path, "/c");
    EXPECT_FALSE(c.keepAlive);
}

TEST(HttpRequestParser, KeepAliveFollowsTheVersionAndConnectionHeader) {
    HttpRequestParser parser;
    parser.feed("GET / HTTP/1.0\r\n\r\nGET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\nGET / "
                "HTTP/1.1\r\nConnection: foo, CLOSE\r\n\r\n");
    HttpRequest r;
    ASSERT_EQ(parser.next(r), Status::request);
    EXPECT_FALSE(r.keepAlive);
    ASSERT_EQ(parser.next(r), Status::request);
    EXPECT_TRUE(r.keepAlive);
    ASSERT_EQ(parser.next(r), Status::request);
    EXPECT_FALSE(r.keepAlive);
}

TEST(HttpRequestParser, AcceptsBareLineFeedsAndLeadingEmptyLines) {
    HttpRequestParser parser;
    parser.feed("\r\n\nGET /status HTTP/1.1\nHost: a\n\n");
    HttpRequest r;
    ASSERT_EQ(parser.next(r), Status::request);
    EXPECT_EQ(r.path, "/status");
}

TEST(HttpRequestParser, AsksForContinueOnceWhenTheBodyIsMissing) {
    HttpRequestParser parser;
    parser.feed("POST /open-app HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n");
    HttpRequest r;
    EXPECT_EQ(parser.next(r), Status::needMore);
    EXPECT_TRUE(parser.takeContinueRequest());
    EXPECT_FALSE(parser.takeContinueRequest());
    parser.feed("abcd");
    ASSERT_EQ(parser.next(r), Status::request);
    EXPECT_EQ(r.body, "abcd");
}

struct ErrorCase {
    std::string wire;
    int status;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
    *out << c.status << " for " << ::testing::PrintToString(c.wire.substr(0, 60));
}

class HttpRequestParserErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(HttpRequestParserErrors, AnswersWithTheRightStatus) {
    HttpParserLimits limits;
    limits.maxHeadBytes = 256;
    limits.maxBodyBytes = 64;
    HttpRequestParser parser(limits);
    parser.feed(GetParam().wire);
    HttpRequest r;
    ASSERT_EQ(parser.next(r), Status::error);
    EXPECT_EQ(parser.errorStatus(), GetParam().status);
    EXPECT_EQ(parser.next(r), Status::error); // stays failed
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpRequestParserErrors,
    ::testing::Values(ErrorCase{"GARBAGE\r\n\r\n", 400}, ErrorCase{"GET  / HTTP/1.1\r\n\r\n", 400},
                      ErrorCase{"GET status HTTP/1.1\r\n\r\n", 400}, ErrorCase{"GET / HTTP/2.0\r\n\r\n", 505},
                      ErrorCase{"GET / HTTX/1.1\r\n\r\n", 400},
                      ErrorCase{"GET / HTTP/1.1\r\nNoColon\r\n\r\n", 400},
                      ErrorCase{"GET / HTTP/1.1\r\nA: b\r\n folded\r\n\r\n", 400},
                      ErrorCase{"POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", 400},
                      ErrorCase{"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
                      ErrorCase{"POST / HTTP/1.1\r\nContent-Length: 65\r\n\r\n", 413},
                      ErrorCase{"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
                      ErrorCase{"GET / HTTP/1.1\r\nX: " + std::string(300, 'a') + "\r\n\r\n", 431},
                      ErrorCase{"GET / HTTP/1.1\r\nX: " + std::string(300, 'a'), 431}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) {
        return "Case" + std::to_string(info.index) + "Status" + std::to_string(info.param.status);
    });
