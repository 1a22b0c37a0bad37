#include "Runtime/Clock.h"
#include "Runtime/Executors.h"
#include "Runtime/UnixSocket.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <unistd.h>

namespace {

TEST(UnixSocket, AddressPathLimit) {
    EXPECT_TRUE(Runtime::unixAddress(std::string(103, 'a')));
    EXPECT_FALSE(Runtime::unixAddress(std::string(104, 'a')));
    EXPECT_FALSE(Runtime::unixAddress(""));
    EXPECT_EQ(Runtime::connectUnixStream(std::string(200, 'a')), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST(UnixSocket, DescriptorTravelsWithTheBytes) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    Runtime::UniqueFd left(pair[0]), right(pair[1]);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    Runtime::UniqueFd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);

    ASSERT_TRUE(Runtime::sendWithDescriptor(left.get(), "bind", 4, writeEnd.get()));
    char buffer[8] = {};
    int received = -1;
    ASSERT_EQ(Runtime::receiveWithDescriptor(right.get(), buffer, sizeof buffer, &received), 4);
    Runtime::UniqueFd passed(received);
    EXPECT_EQ(std::string(buffer, 4), "bind");
    ASSERT_TRUE(passed.isValid());
    EXPECT_TRUE(::fcntl(passed.get(), F_GETFD) & FD_CLOEXEC);
    ASSERT_EQ(::write(passed.get(), "x", 1), 1); // the passed descriptor is the pipe's write end
    char byte = 0;
    EXPECT_EQ(::read(readEnd.get(), &byte, 1), 1);
    EXPECT_EQ(byte, 'x');

    // A peer that went away: no SIGPIPE, just a failed send.
    right.reset();
    EXPECT_FALSE(Runtime::sendAll(left.get(), "more", 4));
}

TEST(Clock, MonotonicAndIso8601) {
    const uint64_t a = Runtime::monotonicNow();
    const uint64_t b = Runtime::monotonicNow();
    EXPECT_LE(a, b);
    using namespace std::chrono;
    const auto when = system_clock::time_point(seconds(1'796'958'690) + milliseconds(7));
    EXPECT_EQ(Runtime::iso8601(when), "2026-12-11T03:11:30.007Z");
}

TEST(SerialQueue, RunsWorkInOrderOnItsNamedThread) {
    std::vector<int> order;
    std::promise<std::string> name;
    {
        Runtime::SerialQueue queue("vedevave.test");
        for (int i = 0; i < 100; ++i) {
            queue.post([&order, i] { order.push_back(i); });
        }
        queue.post([&name] {
            char buffer[16] = {};
            pthread_getname_np(pthread_self(), buffer, sizeof buffer);
            name.set_value(buffer);
        });
    } // the destructor finishes queued work
    EXPECT_EQ(order.size(), 100u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(name.get_future().get(), "vedevave.test");
}

} // namespace
