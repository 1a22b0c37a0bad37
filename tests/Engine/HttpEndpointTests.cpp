// The HTTP control interface: keep-alive, pipelining, the launch receipt,
// the input fallbacks and their error shapes.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace EngineTest;

namespace {
const std::string statusRequest = "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

class HttpEndpoints : public ::testing::Test {
protected:
    static void SetUpTestSuite() { engine_ = new EngineProcess(); }
    static void TearDownTestSuite() {
        delete engine_;
        engine_ = nullptr;
    }
    static EngineProcess* engine_;
};

EngineProcess* HttpEndpoints::engine_ = nullptr;

TEST_F(HttpEndpoints, KeepsTheConnectionAliveAcrossRequests) {
    TcpConnection connection(engine_->port());
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(connection.send(statusRequest));
        const auto response = connection.readResponse();
        ASSERT_EQ(response.status, 200) << "request " << i;
        EXPECT_EQ(response.headers.at("connection"), "keep-alive");
    }
}

TEST_F(HttpEndpoints, AnswersPipelinedRequestsInOrder) {
    TcpConnection connection(engine_->port());
    const std::string touch = R"({"type":"contact","x":1,"y":2})";
    ASSERT_TRUE(connection.send(statusRequest +
                                "POST /touch HTTP/1.1\r\nContent-Length: " + std::to_string(touch.size()) +
                                "\r\n\r\n" + touch + "GET /nowhere HTTP/1.1\r\n\r\n" +
                                "GET /status HTTP/1.1\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(connection.readResponse().status, 200);
    EXPECT_EQ(connection.readResponse().status, 200);
    EXPECT_EQ(connection.readResponse().status, 404);
    const auto last = connection.readResponse();
    EXPECT_EQ(last.status, 200);
    EXPECT_EQ(last.headers.at("connection"), "close");
    EXPECT_TRUE(connection.waitForClose());
}

TEST_F(HttpEndpoints, HandlesExpectContinue) {
    TcpConnection connection(engine_->port());
    const std::string body = R"({"name":"Settings"})";
    ASSERT_TRUE(connection.send("POST /open-app HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n"));
    EXPECT_EQ(connection.readResponse().status, 100);
    ASSERT_TRUE(connection.send(body));
    const auto response = connection.readResponse();
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.json()["bundleId"], "com.apple.Preferences");
}

TEST_F(HttpEndpoints, MalformedRequestsGetAnErrorAndAClose) {
    TcpConnection connection(engine_->port());
    ASSERT_TRUE(connection.send("BROKEN\r\n\r\n"));
    const auto response = connection.readResponse();
    EXPECT_EQ(response.status, 400);
    EXPECT_EQ(response.json()["error"]["code"], "bad_request");
    EXPECT_TRUE(connection.waitForClose());

    TcpConnection big(engine_->port());
    ASSERT_TRUE(big.send("POST /touch HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n"));
    EXPECT_EQ(big.readResponse().status, 413);

    TcpConnection chunked(engine_->port());
    ASSERT_TRUE(chunked.send("POST /touch HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
    EXPECT_EQ(chunked.readResponse().status, 501);
}

TEST_F(HttpEndpoints, OpenAppAnswersALaunchReceipt) {
    const auto response = engine_->post("/open-app", R"({"name":"  notes "})");
    ASSERT_EQ(response.status, 200);
    const auto receipt = response.json();
    EXPECT_EQ(receipt["ok"], true);
    EXPECT_EQ(receipt["launchAccepted"], true);
    EXPECT_EQ(receipt["foregroundConfirmed"], true);
    EXPECT_EQ(receipt["requested"], "notes");
    EXPECT_EQ(receipt["name"], "Notes");
    EXPECT_EQ(receipt["bundleId"], "com.apple.mobilenotes");
    EXPECT_TRUE(receipt["pid"].is_number_integer());
    EXPECT_EQ(receipt["foreground"]["bundleId"], "com.apple.mobilenotes");
    EXPECT_EQ(receipt["foreground"]["available"], true);
    EXPECT_EQ(engine_->get("/status").json()["foreground"]["name"], "Notes");
}

TEST_F(HttpEndpoints, OpenAppErrors) {
    const auto unknown = engine_->post("/open-app", R"({"name":"Flappy Bird"})");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.json()["error"]["code"], "app_not_found");
    EXPECT_TRUE(unknown.json()["error"]["message"].is_string());

    const auto empty = engine_->post("/open-app", R"({"name":"   "})");
    EXPECT_EQ(empty.status, 400);
    EXPECT_EQ(empty.json()["error"]["code"], "invalid_selector");
    EXPECT_EQ(empty.json()["error"]["message"], "App name must not be empty.");

    EXPECT_EQ(engine_->post("/open-app", R"({"name":5})").status, 400);
    EXPECT_EQ(engine_->post("/open-app", R"({})").json()["error"]["code"], "missing_field");
}

TEST_F(HttpEndpoints, MalformedJsonAndWrongTypesAre400WithAnErrorObject) {
    for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/touch", "{not json"},
             {"/touch", R"([1,2])"},
             {"/touch", R"({"type":"contact","x":"1","y":2})"},
             {"/touch", R"({"type":"contact","x":1.5,"y":2})"},
             {"/touch", R"({"type":7,"x":1,"y":2})"},
             {"/button", R"({"name":"home","state":1})"},
             {"/button", R"({"name":""})"},
             {"/key", R"({"down":1,"usage":4,"char":"a","mods":0})"},
             {"/key", R"({"down":true,"usage":70000,"char":"a","mods":0})"},
             {"/key", R"({"down":true,"usage":4,"char":"a","mods":256})"},
             {"/instant", R"({"hard":"yes"})"},
             {"/music-safe", R"({})"},
             {"/keyboard-reset", "nonsense"},
         }) {
        const auto response = engine_->post(path, body);
        EXPECT_EQ(response.status, 400) << path << " " << body;
        const auto json = response.json();
        EXPECT_EQ(json["ok"], false) << path << " " << body;
        EXPECT_TRUE(json["error"]["code"].is_string()) << path << " " << body;
        EXPECT_TRUE(json["error"]["message"].is_string()) << path << " " << body;
    }
    EXPECT_EQ(engine_->get("/status").status, 200); // still alive
}

TEST_F(HttpEndpoints, UnknownPathsAreNotFoundWithoutACode) {
    const auto response = engine_->get("/no/such/thing");
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.json()["error"], "Not Found"); // the application reads this as "not supported"
    EXPECT_EQ(engine_->get("/touch").status, 405);
}

TEST_F(HttpEndpoints, InputFallbacksReachThePhone) {
    const auto before = engine_->debugState();
    EXPECT_EQ(engine_->post("/touch", R"({"type":"contact","x":70000,"y":-3})").status, 200);
    EXPECT_EQ(engine_->post("/touch", R"({"type":"release","x":100,"y":200})").status, 200);
    EXPECT_EQ(engine_->post("/button", R"({"name":"volume-up","state":"press"})").status, 200);
    EXPECT_EQ(engine_->post("/button", R"({"name":"volume-up","state":"release"})").status, 200);
    EXPECT_EQ(engine_->post("/key", R"({"down":true,"usage":4,"char":"a","mods":1})").status, 200);
    EXPECT_EQ(engine_->post("/instant", R"({"hard":true})").status, 200);
    EXPECT_EQ(engine_->post("/music-safe", R"({"on":true})").status, 200);
    EXPECT_EQ(engine_->post("/keyboard-reset", "{}").status, 200);
    EXPECT_EQ(engine_->post("/keyboard-reset", "").status, 200);

    const auto state = engine_->debugState("touches=2&keys=1&buttons=2");
    EXPECT_EQ(state["touchCount"].get<int>() - before["touchCount"].get<int>(), 2);
    ASSERT_EQ(state["touches"].size(), 2u);
    EXPECT_EQ(state["touches"][0]["contact"], true);
    EXPECT_EQ(state["touches"][0]["x"], 65535); // clamped
    EXPECT_EQ(state["touches"][0]["y"], 0);
    EXPECT_EQ(state["touches"][0]["via"], "http");
    EXPECT_EQ(state["touches"][1]["contact"], false);
    EXPECT_EQ(state["buttons"][0]["name"], "volume-up");
    EXPECT_EQ(state["buttons"][0]["pressed"], true);
    EXPECT_EQ(state["buttons"][1]["pressed"], false);
    EXPECT_EQ(state["keys"][0]["usage"], 4);
    EXPECT_EQ(state["keys"][0]["char"], "a");
    EXPECT_EQ(state["keys"][0]["mods"], 1);
    EXPECT_EQ(state["instant"]["hard"], true);
    EXPECT_EQ(state["musicSafe"]["on"], true);
    EXPECT_EQ(state["keyboardResets"].get<int>() - before["keyboardResets"].get<int>(), 2);
}

TEST_F(HttpEndpoints, HomeButtonOverHttpGoesHome) {
    ASSERT_EQ(engine_->post("/open-app", R"({"name":"Calculator"})").status, 200);
    EXPECT_EQ(engine_->debugState()["screen"], "app");
    engine_->post("/button", R"({"name":"home","state":"press"})");
    engine_->post("/button", R"({"name":"home","state":"release"})");
    const auto state = engine_->debugState();
    EXPECT_EQ(state["screen"], "home");
    EXPECT_EQ(state["foreground"]["bundleId"], "com.apple.springboard");
}

TEST_F(HttpEndpoints, ScreenshotIsAPng) {
    const auto response = engine_->get("/debug/screenshot.png");
    ASSERT_EQ(response.status, 200);
    EXPECT_EQ(response.headers.at("content-type"), "image/png");
    EXPECT_EQ(response.body.substr(1, 3), "PNG");
}
