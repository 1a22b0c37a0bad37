#include "Support/ChildProcess.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(HeadlessStartup, ListsPhonesAndShutsDownInOrderOnSigterm) {
    const std::string config = "/tmp/vedevave-headless-" + std::to_string(::getpid());
    TestSupport::ChildProcess app(TestSupport::binDirectory() + "/vedevave", {"--headless", "--web"},
                                  {"USBMUXD_SOCKET_ADDRESS=UNIX:/tmp/vedevave-absent-daemon.sock",
                                   "XDG_CONFIG_HOME=" + config, "VEDEVAVE_API_PORT=18123"});
    ASSERT_TRUE(app.isStarted());
    ASSERT_TRUE(app.waitForOutput("No USB iPhone found", 10s)) << app.output();
    app.signal(SIGTERM);
    EXPECT_EQ(app.waitForExit(10s), 0);
    const std::string output = app.output();
    EXPECT_NE(output.find("==> Web Mirror Studio active at http://127.0.0.1:18123/web\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("Vedevave: device discovery: usbmuxd unavailable (/var/run/usbmuxd)"),
              std::string::npos);
    const auto signalLine = output.find("Vedevave: SIGTERM, shutting down");
    const auto doneLine = output.find("Vedevave: shut down");
    ASSERT_NE(signalLine, std::string::npos) << output;
    EXPECT_LT(signalLine, doneLine);
}

TEST(HeadlessStartup, UnknownUdidIsABootFailure) {
    TestSupport::ChildProcess app(TestSupport::binDirectory() + "/vedevave", {"--headless", "--udid", "NOPE"},
                                  {"USBMUXD_SOCKET_ADDRESS=UNIX:/tmp/vedevave-absent-daemon.sock"});
    ASSERT_TRUE(app.waitForOutput("boot failed: usbmuxd unavailable (/var/run/usbmuxd)\n", 10s)) << app.output();
    app.signal(SIGINT);
    EXPECT_EQ(app.waitForExit(10s), 0);
}

} // namespace
