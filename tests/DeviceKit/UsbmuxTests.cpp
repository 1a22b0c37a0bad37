#include "DeviceKit/Usbmux.h"
#include "Platform/Environment.h"
#include "Runtime/UnixSocket.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace Usbmux = DeviceKit::Usbmux;
using DeviceKit::DeviceInfo;
using DeviceKit::DeviceKitError;

namespace {

// One phone entry of the daemon's list; absent fields are left out.
struct Entry {
    std::optional<std::string> serial;
    plist_t connectionType = nullptr; // string or integer node; null: absent
    std::optional<std::string> name;
    std::optional<std::string> productType;
};

plist_t makeList(const std::vector<Entry>& entries) {
    plist_t root = plist_new_dict();
    plist_t list = plist_new_array();
    for (const Entry& entry : entries) {
        plist_t device = plist_new_dict();
        plist_t properties = plist_new_dict();
        if (entry.serial) {
            plist_dict_set_item(properties, "SerialNumber", plist_new_string(entry.serial->c_str()));
        }
        if (entry.connectionType) {
            plist_dict_set_item(properties, "ConnectionType", entry.connectionType);
        }
        if (entry.name) {
            plist_dict_set_item(properties, "DeviceName", plist_new_string(entry.name->c_str()));
        }
        if (entry.productType) {
            plist_dict_set_item(properties, "ProductType", plist_new_string(entry.productType->c_str()));
        }
        plist_dict_set_item(device, "Properties", properties);
        plist_array_append_item(list, device);
    }
    plist_dict_set_item(root, "DeviceList", list);
    return root;
}

std::string serialize(plist_t root, bool binary) {
    char* data = nullptr;
    uint32_t length = 0;
    binary ? plist_to_bin(root, &data, &length) : plist_to_xml(root, &data, &length);
    std::string text(data, length);
    std::free(data);
    plist_free(root);
    return text;
}

std::string headerFor(uint32_t total) {
    std::string header(16, '\0');
    for (int i = 0; i < 4; ++i) {
        header[static_cast<size_t>(i)] = static_cast<char>(total >> (8 * i));
    }
    header[4] = 1;
    header[8] = 8;
    header[12] = 1;
    return header;
}

// A daemon on a private socket that answers each connection with fixed bytes, then closes.
class FakeDaemon {
public:
    explicit FakeDaemon(std::string reply) : reply_(std::move(reply)) {
        path_ = "/tmp/vdv-usbmux-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++) + ".sock";
        ::unlink(path_.c_str());
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        auto address = Runtime::unixAddress(path_);
        ::bind(listen_, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
        ::listen(listen_, 8);
        Platform::Environment::set("USBMUXD_SOCKET_ADDRESS", "UNIX:" + path_);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeDaemon() {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        thread_.join();
        ::unlink(path_.c_str());
        Platform::Environment::unset("USBMUXD_SOCKET_ADDRESS");
    }
    std::string request() const { return request_; }

private:
    void serve() {
        while (!stopping_) {
            int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            char header[16];
            if (Runtime::receiveExact(fd, header, 16)) {
                uint32_t total = 0;
                for (int i = 0; i < 4; ++i) {
                    total |= static_cast<uint32_t>(static_cast<uint8_t>(header[i])) << (8 * i);
                }
                std::string body(total - 16, '\0');
                Runtime::receiveExact(fd, body.data(), body.size());
                request_ = std::string(header, 16) + body;
            }
            Runtime::sendAll(fd, reply_.data(), reply_.size());
            ::close(fd);
        }
    }

    static inline std::atomic<int> counter_{0};
    std::string reply_;
    std::string path_;
    int listen_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::string request_;
};

std::string replyWith(const std::string& body) { return headerFor(static_cast<uint32_t>(16 + body.size())) + body; }

std::string errorText(const std::function<void()>& call) {
    try {
        call();
    } catch (const DeviceKitError& error) {
        return error.description();
    }
    return "(no error)";
}

TEST(Usbmux, RequestBytes) {
    const std::string body = Usbmux::requestBody({{"MessageType", "ListDevices"}});
    EXPECT_EQ(body, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                    "<plist version=\"1.0\"><dict><key>MessageType</key><string>ListDevices</string></dict></plist>");
    const auto header = Usbmux::requestHeader(static_cast<uint32_t>(body.size()));
    const uint32_t total = static_cast<uint32_t>(16 + body.size());
    const std::array<uint8_t, 16> expected = {
        static_cast<uint8_t>(total), static_cast<uint8_t>(total >> 8), 0, 0, // length, little endian
        1, 0, 0, 0,                                                           // version
        8, 0, 0, 0,                                                           // property-list message
        1, 0, 0, 0,                                                           // tag
    };
    EXPECT_EQ(header, expected);
}

TEST(Usbmux, ListsDevicesFromXmlAndBinaryReplies) {
    for (bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "xml");
        auto list = makeList({
            {"UDID-1", plist_new_string("USB"), "Ada's iPhone", "iPhone15,2"},
            {"UDID-1", plist_new_uint(1), "Ada's iPhone", "iPhone15,2"},
            {"UDID-2", plist_new_uint(2), std::nullopt, std::nullopt},
            {std::nullopt, plist_new_string("USB"), "no serial", std::nullopt},
            {"UDID-3", nullptr, std::nullopt, std::nullopt},
            {"UDID-4", plist_new_string("Bluetooth"), std::nullopt, std::nullopt},
        });
        FakeDaemon daemon(replyWith(serialize(list, binary)));
        auto devices = Usbmux::listDevices();
        ASSERT_EQ(devices.size(), 5u);
        EXPECT_EQ(devices[0], (DeviceInfo{"UDID-1", "USB", "Ada's iPhone", "iPhone15,2", std::nullopt}));
        EXPECT_EQ(devices[1].connectionType, "Network");
        EXPECT_EQ(devices[2].connectionType, "USB");
        EXPECT_EQ(devices[3].connectionType, "USB"); // absent
        EXPECT_EQ(devices[4].connectionType, "Bluetooth");
        EXPECT_EQ(devices[2].displayTitle(), "iPhone (unknown)");
        EXPECT_EQ(devices[0].displayTitle(), "Ada's iPhone (iPhone15,2)");

        // The request the daemon saw is the exact ListDevices message.
        const std::string body = Usbmux::requestBody({{"MessageType", "ListDevices"}});
        const auto header = Usbmux::requestHeader(static_cast<uint32_t>(body.size()));
        EXPECT_EQ(daemon.request(), std::string(header.begin(), header.end()) + body);

        auto usb = Usbmux::usbDevices();
        ASSERT_EQ(usb.size(), 3u);
        EXPECT_EQ(usb[0].udid, "UDID-1");
        EXPECT_EQ(Usbmux::controlPeer("UDID-1").connectionType, "Network");
        EXPECT_EQ(Usbmux::pick("UDID-1").connectionType, "USB");
        EXPECT_EQ(Usbmux::pick(std::nullopt).udid, "UDID-1");
        EXPECT_EQ(Usbmux::controlPeer("UDID-2").connectionType, "USB");
        EXPECT_EQ(errorText([] { Usbmux::pick("UDID-4"); }), "no USB-paired iPhone (plug in a cable)");
        EXPECT_EQ(errorText([] { Usbmux::controlPeer("UDID-9"); }), "no USB-paired iPhone (plug in a cable)");
    }
}

TEST(Usbmux, EmptyAndMissingLists) {
    {
        FakeDaemon daemon(replyWith(serialize(makeList({}), false)));
        EXPECT_TRUE(Usbmux::listDevices().empty());
        EXPECT_EQ(errorText([] { Usbmux::pick(std::nullopt); }), "no USB-paired iPhone (plug in a cable)");
    }
    plist_t noList = plist_new_dict();
    plist_dict_set_item(noList, "MessageType", plist_new_string("Result"));
    for (const std::string& body : {serialize(noList, false), std::string("not a plist at all")}) {
        FakeDaemon daemon(replyWith(body));
        EXPECT_EQ(errorText([] { Usbmux::listDevices(); }), "usbmux bad response: no DeviceList");
    }
}

TEST(Usbmux, LengthBoundsAndShortReplies) {
    struct Case {
        std::string reply;
        std::string expected;
    };
    const std::string oneByte = "x";
    const std::vector<Case> cases = {
        {headerFor(16), "usbmux bad response: len 16"},
        {headerFor(16'000'016), "usbmux bad response: len 16000016"},
        {headerFor(0xFFFFFFFFu), "usbmux bad response: len 4294967295"},
        {headerFor(17) + oneByte, "usbmux bad response: no DeviceList"}, // 17 is accepted
        {headerFor(16).substr(0, 10), "usbmux recv failed"},            // closes after 10 header bytes
        {headerFor(100) + "short", "usbmux recv failed"},                // body shorter than announced
        {"", "usbmux recv failed"},
    };
    for (const Case& c : cases) {
        FakeDaemon daemon(c.reply);
        EXPECT_EQ(errorText([] { Usbmux::listDevices(); }), c.expected);
    }
    EXPECT_NO_THROW(Usbmux::replyLength({0x0F, 0x24, 0xF4, 0x00})); // 16,000,015
}

TEST(Usbmux, MissingDaemonNamesTheDefaultSocket) {
    Platform::Environment::set("USBMUXD_SOCKET_ADDRESS", "UNIX:/tmp/vedevave-no-such-daemon.sock");
    EXPECT_EQ(errorText([] { Usbmux::listDevices(); }), "usbmuxd unavailable (/var/run/usbmuxd)");
    EXPECT_EQ(errorText([] { Usbmux::usbDevices(); }), "usbmuxd unavailable (/var/run/usbmuxd)");
    Platform::Environment::unset("USBMUXD_SOCKET_ADDRESS");
}

} // namespace
