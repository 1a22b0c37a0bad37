#include "Engine/EngineApp.h"

#include "Engine/EngineClock.h"
#include "Engine/MetadataWriter.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace Engine {

namespace {
constexpr const char* logPrefix = "DaridiveVarara: ";
}

EngineApp::EngineApp(EngineOptions options)
    : warmer_(io_), options_(std::move(options)), faults_(options_.faults, Faults::Clock::now()),
      model_(options_.width, options_.height, AppCatalog::standard(), options_.phone), dispatcher_(model_, debug_),
      producer_(model_), controlRoutes_(options_, model_, dispatcher_, faults_, [this] { return started_; }),
      debugRoutes_(options_, model_, debug_, faults_, producer_),
      http_(io_, [this](const HttpRequest& request) { return router_.handle(request); }),
      clock_(io_, options_.fps, [this] { onTick(); }), signals_(io_, SIGTERM, SIGINT), metadataTimer_(io_),
      exitTimer_(io_) {
    controlRoutes_.install(router_);
    debugRoutes_.install(router_);
    debugRoutes_.setClockReport([this] {
        return nlohmann::json{{"ticks", clock_.ticks()},
                              {"skippedTicks", clock_.skippedTicks()},
                              {"longestTickMs", clock_.longestTickMs()},
                              {"latestWakeMs", clock_.latestWakeMs()}};
    });
    faults_.setExitScheduler([this](int64_t delayMs, int status) { scheduleExit(delayMs, status); });
}

EngineApp::~EngineApp() = default;

int EngineApp::run() {
    if (!start()) {
        shutdown();
        io_.run(); // let the coroutines that did start see their sockets close
        return ExitStatus::startFailed;
    }
    io_.run(); // returns once shutdown() has closed everything and the coroutines have ended
    return ExitStatus::clean;
}

bool EngineApp::start() {
    const auto port = static_cast<uint16_t>(options_.httpPort);
    // The TCP port first: if another engine holds it, touch none of its socket files.
    try {
        http_.listen("127.0.0.1", port);
    } catch (const std::system_error& error) {
        if (error.code() == asio::error::address_in_use) {
            std::fprintf(stderr,
                         "%sport %u on 127.0.0.1 is already in use; stop the other engine or pick another "
                         "--http-port\n",
                         logPrefix, port);
        } else {
            std::fprintf(stderr, "%scannot listen on 127.0.0.1:%u: %s\n", logPrefix, port, error.what());
        }
        return false;
    }
    try {
        std::error_code ec;
        std::filesystem::create_directories(options_.socketDir, ec);
        hid_ = std::make_unique<HidServer>(io_, options_.hidSocketPath(), dispatcher_, debug_);
        VideoChannelConfig video;
        video.name = "video";
        video.socketPath = options_.videoSocketPath();
        video.slots = options_.ringSlots;
        video.ringMode = options_.ringMode;
        video.ringPath = [this](int client) { return options_.ringFilePath(client); };
        video.ticksPerKeepAlive = 1; // the video socket repeats the picture at the full frame rate
        video.warmer = &warmer_;
        video_ = std::make_unique<VideoServer>(io_, video, producer_, debug_.video());
        video_->setStallCheck([this] { return faults_.isVideoStalled(Faults::Clock::now()); });
        if (options_.captureEnabled) {
            CaptureChannel::Settings capture{options_.captureSocketPath(),
                                             options_.captureSidecarPath(),
                                             options_.deviceName,
                                             options_.udid,
                                             options_.fps,
                                             options_.captureKeepAliveFps,
                                             options_.ringSlots,
                                             &warmer_};
            capture_ = std::make_unique<CaptureChannel>(io_, capture, producer_, debug_.capture(), faults_);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%scannot create the engine's sockets: %s\n", logPrefix, error.what());
        return false;
    }

    http_.start();
    hid_->start();
    video_->start();
    if (capture_) {
        capture_->start();
    }
    clock_.start();
    signals_.async_wait([this](const asio::error_code& ec, int signal) {
        if (!ec) {
            std::fprintf(stderr, "%ssignal %d: shutting down\n", logPrefix, signal);
            shutdown();
        }
    });
    // The metadata file is written before /status first answers 200, so the application's
    // 5-second wait after the first good status always finds it (unless a fault says otherwise).
    if (faults_.skipsMetadata()) {
        std::fprintf(stderr, "%sfault: the metadata file is not written\n", logPrefix);
    } else if (faults_.metadataDelayMs() > 0) {
        metadataTimer_.expires_after(std::chrono::milliseconds(faults_.metadataDelayMs()));
        metadataTimer_.async_wait([this](const asio::error_code& ec) {
            if (!ec && !stopping_) {
                publishMetadata();
            }
        });
    } else {
        publishMetadata();
    }
    faults_.armLaunchFaults();
    started_ = true;
    std::fprintf(
        stderr,
        "%sready udid=%s transport=%s http=127.0.0.1:%u hid=%s video=%s capture=%s size=%dx%d fps=%d\n",
        logPrefix, options_.udid.c_str(), options_.transport.c_str(), port, options_.hidSocketPath().c_str(),
        options_.videoSocketPath().c_str(), capture_ ? capture_->socketPath().c_str() : "off", options_.width,
        options_.height, options_.fps);
    return true;
}

void EngineApp::publishMetadata() {
    const auto value =
        MetadataWriter::metadata(options_.udid, options_.httpPort, options_.hidSocketPath(),
                                 options_.videoSocketPath(), capture_ ? capture_->socketPath() : "");
    const std::string error = MetadataWriter::writeAtomically(options_.rsdPath, value);
    if (!error.empty()) {
        std::fprintf(stderr, "%scannot write the metadata file: %s\n", logPrefix, error.c_str());
    }
}

void EngineApp::onTick() {
    model_.advance(monotonicRawNs());
    video_->tick();
    if (capture_) {
        capture_->tick();
    }
}

void EngineApp::scheduleExit(int64_t delayMs, int status) {
    exitTimer_.expires_after(std::chrono::milliseconds(delayMs));
    exitTimer_.async_wait([this, status](const asio::error_code& ec) {
        if (ec) {
            return;
        }
        // A simulated engine death: the endpoints vanish as they would with the process, and
        // the process ends at once with the requested status, without an orderly shutdown.
        std::fprintf(stderr, "%sfault: exiting with status %d\n", logPrefix, status);
        closeEndpoints();
        std::fflush(stderr);
        std::fflush(stdout);
        ::_exit(status);
    });
}

void EngineApp::closeEndpoints() {
    // The capture device first, so an application watching its folder sees it leave before the
    // video socket closes; the HID socket last, since it never blocks anything.
    if (capture_) {
        capture_->stop();
    }
    if (video_) {
        video_->stop();
    }
    if (hid_) {
        hid_->stop();
    }
}

void EngineApp::shutdown() {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    // Stop producing first so no tick touches a channel being closed; then close the channels
    // (their clients see end of stream), then the input socket and the control server, and last
    // withdraw the metadata file if it still names this engine.
    clock_.stop();
    metadataTimer_.cancel();
    exitTimer_.cancel();
    asio::error_code ignored;
    signals_.cancel(ignored);
    closeEndpoints();
    warmer_.stop();
    http_.stop();
    if (started_) {
        MetadataWriter::removeIfOwned(options_.rsdPath, options_.hidSocketPath());
    }
}

} // namespace Engine
