#include "DeviceKit/TunnelSession.h"
#include "Platform/Environment.h"
#include "Runtime/Executors.h"
#include "Support/RunCoroutine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using DeviceKit::DeviceInfo;
using DeviceKit::TunnelError;
using DeviceKit::TunnelSession;

namespace {

class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() / ("vdv-tunnel-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

    fs::path write(const fs::path& relative, const std::string& text, bool executable) {
        const fs::path file = path_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
        fs::permissions(file, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
        return file;
    }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

const DeviceInfo usbPhone{"UDID-1", "USB", "Phone", std::nullopt, std::nullopt};
const DeviceInfo networkPhone{"UDID-1", "Network", "Phone", std::nullopt, std::nullopt};

TEST(TunnelSession, PortsAddressesAndTheFreePortCommand) {
    auto session = TunnelSession::create(usbPhone, 8090);
    EXPECT_EQ(session->enginePort(), 8091);
    EXPECT_EQ(session->controlBaseURL(), "http://127.0.0.1:8091");
    EXPECT_EQ(TunnelSession::freePortCommand(8091, 77),
              "lsof -tiTCP:8091 -sTCP:LISTEN 2>/dev/null | grep -vx 77 | xargs kill 2>/dev/null");
}

TEST(TunnelSession, EngineResolution) {
    TempFolder folder;
    const auto notExecutable = folder.write("plain/DaridiveVarara", "x", false);
    const auto nextToApp = folder.write("app/DaridiveVarara", "x", true);
    const auto inParentBin = folder.write("tree/bin/DaridiveVarara", "x", true);
    const auto inWorkingBin = folder.write("cwd/bin/DaridiveVarara", "x", true);

    // A variable naming a file that cannot be executed is skipped.
    EXPECT_EQ(TunnelSession::resolveEngine(notExecutable.string(), folder.path() / "app/vedevave", folder.path()),
              nextToApp);
    EXPECT_EQ(TunnelSession::resolveEngine(inParentBin.string(), folder.path() / "app/vedevave", folder.path()),
              inParentBin);
    // Walking up from the executable's folder finds bin/ in an ancestor.
    EXPECT_EQ(TunnelSession::resolveEngine(std::nullopt, folder.path() / "tree/a/b/c/vedevave", folder.path()),
              inParentBin);
    EXPECT_EQ(TunnelSession::resolveEngine(std::nullopt, std::nullopt, folder.path() / "cwd"), inWorkingBin);
    EXPECT_EQ(TunnelSession::resolveEngine(std::nullopt, std::nullopt, folder.path() / "cwd/sub"), inWorkingBin);
    EXPECT_FALSE(TunnelSession::resolveEngine(std::nullopt, folder.path() / "none/x", folder.path() / "none"));
}

TEST(TunnelSession, LaunchArgumentsAndEnvironment) {
    TempFolder folder;
    const auto binary = folder.write("DaridiveVarara", "\x7f" "ELF", true);
    const auto script = folder.write("engine.sh", "echo", true);
    const auto shebang = folder.write("engine", "#!/usr/bin/env python3\n", true);

    auto launch = TunnelSession::launchFor(binary, networkPhone, 8091,
                                           {"PATH=/bin", "VEDEVAVE_NATIVE=0", "VEDEVAVE_PUSH=bgra"});
    EXPECT_EQ(launch.program, binary.string());
    EXPECT_EQ(launch.arguments, (std::vector<std::string>{binary.string(), "--udid", "UDID-1", "--transport", "wifi",
                                                          "--http-port", "8091"}));
    auto has = [&](const std::string& entry) {
        return std::count(launch.environment.begin(), launch.environment.end(), entry);
    };
    EXPECT_EQ(has("PATH=/bin"), 1);
    EXPECT_EQ(has("VEDEVAVE_NATIVE=1"), 1);
    EXPECT_EQ(has("VEDEVAVE_NATIVE=0"), 0);
    EXPECT_EQ(has("VEDEVAVE_VIDEO_TRANSPORT=unix"), 1);
    EXPECT_EQ(has("VEDEVAVE_PUSH=bgra"), 1);
    EXPECT_EQ(has("VEDEVAVE_RCTL=1"), 1);

    for (const auto& viaShell : {script, shebang}) {
        auto shellLaunch = TunnelSession::launchFor(viaShell, usbPhone, 9001, {});
        EXPECT_EQ(shellLaunch.program, "/bin/bash");
        EXPECT_EQ(shellLaunch.arguments[1], viaShell.string());
        EXPECT_EQ(shellLaunch.arguments[5], "usb");
        EXPECT_EQ(shellLaunch.arguments[7], "9001");
    }
}

TEST(TunnelSession, ConsoleForwardingKeepsSplitCharactersAndDropsInvalidChunks) {
    std::string carry;
    EXPECT_EQ(TunnelSession::forwardableConsole(carry, "ready\n"), "ready\n");
    EXPECT_EQ(TunnelSession::forwardableConsole(carry, "caf\xC3"), "caf"); // é split across reads
    EXPECT_EQ(TunnelSession::forwardableConsole(carry, "\xA9 ok\n"), "\xC3\xA9 ok\n");
    EXPECT_FALSE(TunnelSession::forwardableConsole(carry, "bad \xFF byte"));
    EXPECT_FALSE(TunnelSession::forwardableConsole(carry, ""));
}

TEST(RsdSession, MetadataFiles) {
    TempFolder folder;
    const auto hostOnly = folder.write("a.json", R"({"host":"127.0.0.1"})", false);
    auto session = DeviceKit::CoreDeviceBridge::loadSession(hostOnly);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->hidSocketPath, "/tmp/vedevave_hid.sock");
    EXPECT_EQ(session->videoSocketPath, "/tmp/vedevave_video.sock");
    const auto full = folder.write("b.json", R"({"host":"h","hid_socket":"/x/hid","video_socket":"/x/video"})", false);
    EXPECT_EQ(DeviceKit::CoreDeviceBridge::loadSession(full),
              (DeviceKit::RsdSession{"h", "/x/hid", "/x/video"}));
    for (const char* bad : {R"({"hid_socket":"/x"})", R"({"host":5})", "[1]", "{not json", ""}) {
        EXPECT_FALSE(DeviceKit::CoreDeviceBridge::loadSession(folder.write("bad.json", bad, false))) << bad;
    }
    EXPECT_FALSE(DeviceKit::CoreDeviceBridge::loadSession((folder.path() / "missing.json").string()));

    Platform::Environment::set("VEDEVAVE_RSD_PATH", full.string());
    EXPECT_EQ(DeviceKit::RsdSession::metaPath(), full.string());
    Platform::Environment::unset("VEDEVAVE_RSD_PATH");
    EXPECT_EQ(DeviceKit::RsdSession::metaPath(), "/tmp/vedevave_rsd.json");
}

TEST(RsdSession, WaitingStopsAtTheDeadline) {
    asio::io_context context;
    const auto started = std::chrono::steady_clock::now();
    auto session = TestSupport::runCoroutine(
        context, DeviceKit::CoreDeviceBridge::waitForSession("/tmp/vedevave-no-such-meta.json", 450ms));
    EXPECT_FALSE(session);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 400ms);
}

// Script engines stand in for a real engine that dies or never answers.
class ScriptEngineTest : public ::testing::Test {
protected:
    std::shared_ptr<TunnelSession> startWith(const std::string& script) {
        const auto engine = folder.write("engine.sh", script, true);
        Platform::Environment::set("VEDEVAVE_ENGINE", engine.string());
        // A port nobody listens on, unique per process.
        auto session = TunnelSession::create(usbPhone, 20000 + (::getpid() % 20000));
        session->start();
        return session;
    }
    void TearDown() override { Platform::Environment::unset("VEDEVAVE_ENGINE"); }

    TempFolder folder;
    asio::io_context context;
};

TEST_F(ScriptEngineTest, AnEngineThatExitsDuringBootIsReportedWithItsStatus) {
    auto session = startWith("echo \"engine args: $*\"\nexit 3\n");
    try {
        TestSupport::runCoroutine(context, session->waitUntilReady(10s));
        FAIL() << "no error";
    } catch (const TunnelError& error) {
        EXPECT_EQ(error.kind(), TunnelError::Kind::exited);
        EXPECT_EQ(error.description(), "engine exited (3)");
    }
    EXPECT_FALSE(session->isAlive());
    session->stop();
    session->stop(); // repeatable
}

TEST_F(ScriptEngineTest, AnEngineThatNeverAnswersTimesOutAndStopEndsIt) {
    auto session = startWith("exec sleep 30\n");
    ASSERT_TRUE(session->isAlive());
    const pid_t pid = *session->processIdentifier();
    try {
        TestSupport::runCoroutine(context, session->waitUntilReady(600ms));
        FAIL() << "no error";
    } catch (const TunnelError& error) {
        EXPECT_EQ(error.description(), "tunnel status timeout");
    }
    bool exitReported = false;
    session->setOnProcessExit([&](int) { exitReported = true; });
    session->stop();
    EXPECT_FALSE(session->isAlive());
    EXPECT_NE(::kill(pid, 0), 0); // gone and reaped
    Runtime::mainContext().restart();
    Runtime::mainContext().poll();
    EXPECT_FALSE(exitReported); // a stopped session never reports an exit
}

TEST_F(ScriptEngineTest, ExitAfterStartIsReportedOnTheMainExecutor) {
    auto session = startWith("sleep 0.2\nexit 5\n");
    std::atomic<int> reported{-1};
    session->setOnProcessExit([&](int status) {
        reported = status;
        Runtime::stopMain();
    });
    std::thread guard([&] {
        for (int i = 0; i < 500 && reported < 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        Runtime::stopMain();
    });
    Runtime::runMain();
    guard.join();
    EXPECT_EQ(reported, 5);
}

TEST_F(ScriptEngineTest, MissingEngineAndUnstartableEngine) {
    const auto notExecutable = folder.write("noexec", "x", false);
    Platform::Environment::set("VEDEVAVE_ENGINE", notExecutable.string());
    auto launch = TunnelSession::launchFor(notExecutable, usbPhone, 1, {});
    EXPECT_EQ(launch.program, notExecutable.string());
    const auto broken = folder.write("broken", "\x7f" "ELF garbage", true);
    Platform::Environment::set("VEDEVAVE_ENGINE", broken.string());
    auto session = TunnelSession::create(usbPhone, 20000 + (::getpid() % 20000));
    try {
        session->start();
        FAIL() << "started a file that is no program";
    } catch (const TunnelError& error) {
        EXPECT_EQ(error.kind(), TunnelError::Kind::launchFailed);
    }
}

} // namespace
