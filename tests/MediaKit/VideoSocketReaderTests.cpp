#include "MediaKit/VideoSocketReader.h"
#include "Runtime/UnixSocket.h"
#include "Support/UnixStreamRecorder.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace std::chrono_literals;
using MediaKit::VideoSocketReader;

namespace {

std::string little(uint64_t value, size_t bytes) {
    std::string out;
    for (size_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
    return out;
}

// The engine's side of the socket, driven step by step by the test.
class FakeEngine {
public:
    explicit FakeEngine(const std::string& name) : path_(TestSupport::uniqueSocketPath(name)) {
        ::unlink(path_.c_str());
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        auto address = Runtime::unixAddress(path_);
        ::bind(listen_, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
        ::listen(listen_, 4);
    }
    ~FakeEngine() {
        ::close(listen_);
        ::unlink(path_.c_str());
    }
    const std::string& path() const { return path_; }

    // Accepts the next connection and checks its hello: "KWV3", version 3.
    Runtime::UniqueFd acceptClient() {
        pollfd waiting{listen_, POLLIN, 0};
        if (::poll(&waiting, 1, 3000) != 1) {
            return Runtime::UniqueFd();
        }
        Runtime::UniqueFd client(::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC));
        char hello[9];
        EXPECT_TRUE(Runtime::receiveExact(client.get(), hello, 9));
        EXPECT_EQ(std::string(hello, 9), std::string("\x01KWV3\x03\x00\x00\x00", 9));
        return client;
    }

    static std::string bindMessage(uint16_t width, uint16_t height, uint16_t slots, const std::string& path,
                                   const char* magic = "KWV3") {
        const uint32_t stride = width * 4u;
        const uint32_t slotBytes = stride * height;
        return std::string(1, '\x11') + magic + little(0, 2) + little(slots, 2) + little(stride, 4) +
               little(slotBytes, 4) + little(width, 2) + little(height, 2) + little(64, 4) +
               little(path.size(), 2) + path;
    }
    static std::string frameMessage(uint32_t seq, uint16_t slot, uint64_t producedNs) {
        return std::string(1, '\x20') + little(seq, 4) + little(slot, 2) + little(producedNs, 8);
    }
    // Reads one acknowledgement: kind 0x30, seq, displayedNs.
    static std::optional<std::pair<uint32_t, uint64_t>> readAck(int fd) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 3000) != 1) {
            return std::nullopt;
        }
        uint8_t bytes[13];
        if (!Runtime::receiveExact(fd, bytes, 13) || bytes[0] != 0x30) {
            return std::nullopt;
        }
        uint32_t seq = 0;
        uint64_t displayed = 0;
        for (int i = 0; i < 4; ++i) {
            seq |= static_cast<uint32_t>(bytes[1 + i]) << (8 * i);
        }
        for (int i = 0; i < 8; ++i) {
            displayed |= static_cast<uint64_t>(bytes[5 + i]) << (8 * i);
        }
        return std::make_pair(seq, displayed);
    }

private:
    std::string path_;
    int listen_ = -1;
};

// A ring file of the given geometry whose slot i is filled with the byte i + 1.
Runtime::UniqueFd makeRing(uint16_t width, uint16_t height, uint16_t slots) {
    const size_t slotBytes = static_cast<size_t>(width) * 4 * height;
    Runtime::UniqueFd fd(::memfd_create("test-ring", MFD_CLOEXEC));
    EXPECT_EQ(::ftruncate(fd.get(), static_cast<off_t>(64 + slotBytes * slots)), 0);
    for (uint16_t i = 0; i < slots; ++i) {
        std::string fill(slotBytes, static_cast<char>(i + 1));
        EXPECT_EQ(::pwrite(fd.get(), fill.data(), fill.size(), static_cast<off_t>(64 + i * slotBytes)),
                  static_cast<ssize_t>(fill.size()));
    }
    return fd;
}

struct Observed {
    std::mutex mutex;
    std::vector<MediaKit::RingBinding> binds;
    std::vector<MediaKit::SlotFrame> frames;
    std::vector<uint8_t> firstBytes; // first byte of each announced slot, read in the callback

    size_t frameCount() {
        std::lock_guard lock(mutex);
        return frames.size();
    }
};

void observe(VideoSocketReader& reader, Observed& seen) {
    reader.onBind = [&seen](const MediaKit::RingBinding& binding) {
        std::lock_guard lock(seen.mutex);
        seen.binds.push_back(binding);
    };
    reader.onFrame = [&seen, &reader](const MediaKit::SlotFrame& frame) {
        std::lock_guard lock(seen.mutex);
        seen.frames.push_back(frame);
        seen.firstBytes.push_back(*seen.binds.back().slotAddress(frame.slot));
        reader.acknowledge(frame.seq, frame.producedNs);
    };
}

TEST(VideoSocketReader, BindsByDescriptorReadsSlotsAndAcknowledges) {
    FakeEngine engine("kwvs-fd");
    VideoSocketReader reader(engine.path());
    Observed seen;
    observe(reader, seen);
    reader.start();
    auto client = engine.acceptClient();
    ASSERT_TRUE(client.isValid());

    // A notice before any bind is acknowledged at once and not counted.
    auto early = FakeEngine::frameMessage(7, 0, 1234);
    ASSERT_TRUE(Runtime::sendAll(client.get(), early.data(), early.size()));
    EXPECT_EQ(FakeEngine::readAck(client.get()), std::make_pair(7u, uint64_t{1234}));
    EXPECT_EQ(reader.framesReceived(), 0u);

    auto ring = makeRing(4, 2, 3);
    auto bind = FakeEngine::bindMessage(4, 2, 3, "");
    ASSERT_TRUE(Runtime::sendWithDescriptor(client.get(), bind.data(), 1, ring.get()));
    ASSERT_TRUE(Runtime::sendAll(client.get(), bind.data() + 1, bind.size() - 1));
    const uint64_t produced = MediaKit::monotonicNow();
    for (uint32_t seq = 1; seq <= 3; ++seq) {
        auto frame = FakeEngine::frameMessage(seq, static_cast<uint16_t>(seq - 1), seq == 3 ? 0 : produced);
        ASSERT_TRUE(Runtime::sendAll(client.get(), frame.data(), frame.size()));
        EXPECT_EQ(FakeEngine::readAck(client.get()), std::make_pair(seq, seq == 3 ? uint64_t{0} : produced));
    }
    EXPECT_EQ(reader.framesReceived(), 3u);
    EXPECT_EQ(reader.endToEndLatency().snapshot().count, 2u); // no sample for producedNs 0
    {
        std::lock_guard lock(seen.mutex);
        ASSERT_EQ(seen.binds.size(), 1u);
        EXPECT_EQ(seen.binds[0].width, 4);
        EXPECT_EQ(seen.binds[0].bytesPerRow, 16);
        EXPECT_EQ(seen.binds[0].headerBytes, 64);
        EXPECT_EQ(seen.firstBytes, (std::vector<uint8_t>{1, 2, 3}));
    }

    // A slot the ring does not have is acknowledged without reaching the application.
    auto outside = FakeEngine::frameMessage(9, 3, 0);
    ASSERT_TRUE(Runtime::sendAll(client.get(), outside.data(), outside.size()));
    EXPECT_EQ(FakeEngine::readAck(client.get()), std::make_pair(9u, uint64_t{0}));
    EXPECT_EQ(seen.frameCount(), 3u);
    reader.stop();
}

TEST(VideoSocketReader, BindsByPathAndRebinds) {
    FakeEngine engine("kwvs-path");
    VideoSocketReader reader(engine.path());
    Observed seen;
    observe(reader, seen);
    reader.start();
    auto client = engine.acceptClient();
    ASSERT_TRUE(client.isValid());
    const std::string ringPath = "/tmp/vdv-ring-" + std::to_string(::getpid());
    for (int round = 0; round < 2; ++round) {
        auto ring = makeRing(2, 2, round == 0 ? 2 : 4);
        std::string contents(static_cast<size_t>(::lseek(ring.get(), 0, SEEK_END)), '\0');
        ASSERT_EQ(::pread(ring.get(), contents.data(), contents.size(), 0), static_cast<ssize_t>(contents.size()));
        FILE* file = std::fopen(ringPath.c_str(), "wb");
        std::fwrite(contents.data(), 1, contents.size(), file);
        std::fclose(file);
        auto bind = FakeEngine::bindMessage(2, 2, round == 0 ? 2 : 4, ringPath);
        ASSERT_TRUE(Runtime::sendAll(client.get(), bind.data(), bind.size()));
        auto frame = FakeEngine::frameMessage(10 + round, 1, 0);
        ASSERT_TRUE(Runtime::sendAll(client.get(), frame.data(), frame.size()));
        ASSERT_TRUE(FakeEngine::readAck(client.get()));
    }
    {
        std::lock_guard lock(seen.mutex);
        ASSERT_EQ(seen.binds.size(), 2u);
        EXPECT_EQ(seen.binds[1].slots, 4);
        EXPECT_EQ(seen.firstBytes, (std::vector<uint8_t>{2, 2}));
    }
    reader.stop();
    ::unlink(ringPath.c_str());
}

TEST(VideoSocketReader, MalformedBindsEndTheSessionAndTheReaderReconnects) {
    FakeEngine engine("kwvs-bad");
    VideoSocketReader reader(engine.path());
    reader.start();
    const std::vector<std::string> badMessages = {
        FakeEngine::bindMessage(2, 2, 2, "", "KWV2"), // wrong magic
        FakeEngine::bindMessage(2, 2, 2, ""),         // no descriptor and no path
        std::string("\x7F"),                          // unknown kind
        FakeEngine::bindMessage(2, 2, 2, "/nonexistent/ring"),
    };
    for (const auto& message : badMessages) {
        auto client = engine.acceptClient();
        ASSERT_TRUE(client.isValid());
        ASSERT_TRUE(Runtime::sendAll(client.get(), message.data(), message.size()));
        char byte;
        pollfd waiting{client.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&waiting, 1, 3000), 1);
        EXPECT_EQ(::recv(client.get(), &byte, 1, 0), 0); // the reader hung up
    }
    // A ring file shorter than the geometry it claims is refused instead of faulting later.
    auto client = engine.acceptClient();
    ASSERT_TRUE(client.isValid());
    Runtime::UniqueFd shortRing(::memfd_create("short", MFD_CLOEXEC));
    ASSERT_EQ(::ftruncate(shortRing.get(), 100), 0);
    auto bind = FakeEngine::bindMessage(64, 64, 4, "");
    ASSERT_TRUE(Runtime::sendWithDescriptor(client.get(), bind.data(), bind.size(), shortRing.get()));
    char byte;
    pollfd waiting{client.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 3000), 1);
    EXPECT_EQ(::recv(client.get(), &byte, 1, 0), 0);
    reader.stop();
}

TEST(VideoSocketReader, OverlongPathNeverConnectsAndStopIsPrompt) {
    VideoSocketReader reader("/tmp/" + std::string(120, 'v'));
    reader.start();
    std::this_thread::sleep_for(150ms);
    const auto started = std::chrono::steady_clock::now();
    reader.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 100ms);
    reader.acknowledge(1, 2); // dropped while disconnected
}

TEST(Kwvs, MessageBytes) {
    auto hello = MediaKit::Kwvs::hello();
    EXPECT_EQ(std::string(hello.begin(), hello.end()), std::string("\x01KWV3\x03\0\0\0", 9));
    auto ack = MediaKit::Kwvs::acknowledge(0x01020304, 0x1122334455667788ull);
    EXPECT_EQ(std::string(ack.begin(), ack.end()),
              std::string("\x30\x04\x03\x02\x01\x88\x77\x66\x55\x44\x33\x22\x11", 13));
}

} // namespace
