// A command-line KWVS/3 client for looking at a running engine by hand: connects to a video or
// capture socket, prints the bind and the first frame notices, acknowledges them, and writes the
// first frame as a PNG. Used to demonstrate the video path without the application.
//   engine_kwvs_probe SOCKET [OUT.png] [FRAMES, default 5]
#include "EngineTestSupport.h"

#include <cairo.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace EngineTest;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: engine_kwvs_probe SOCKET [OUT.png] [FRAMES]\n");
        return 2;
    }
    const std::string png = argc > 2 ? argv[2] : "";
    const int frames = argc > 3 ? std::atoi(argv[3]) : 5;
    KwvsClient client(argv[1]);
    if (!client.socket().isConnected() || !client.sendHello()) {
        std::fprintf(stderr, "cannot connect to %s\n", argv[1]);
        return 1;
    }
    BindMessage bind;
    FrameMessage frame;
    if (client.readMessage(bind, frame).value_or(0) != 0x11) {
        std::fprintf(stderr, "no bind\n");
        return 1;
    }
    std::printf("bind: magic=%s slots=%u %ux%u bytesPerRow=%u slotBytes=%u headerBytes=%u via %s\n",
                bind.magic.c_str(), bind.slots, bind.width, bind.height, bind.bytesPerRow, bind.slotBytes,
                bind.headerBytes, bind.descriptor >= 0 ? "fd" : ("path " + bind.path).c_str());
    if (!client.mapRing(bind)) {
        std::fprintf(stderr, "cannot map the ring\n");
        return 1;
    }
    for (int i = 0; i < frames; ++i) {
        if (client.readMessage(bind, frame).value_or(0) != 0x20) {
            std::fprintf(stderr, "no frame\n");
            return 1;
        }
        const uint64_t now = monotonicNowNs();
        std::printf("frame: seq=%u slot=%u producedNs=%llu (%.3f ms ago)\n", frame.seq, frame.slot,
                    static_cast<unsigned long long>(frame.producedNs),
                    now > frame.producedNs ? static_cast<double>(now - frame.producedNs) / 1e6 : 0.0);
        if (i == 0 && !png.empty()) {
            cairo_surface_t* surface =
                cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bind.width, bind.height);
            cairo_surface_flush(surface);
            const int stride = cairo_image_surface_get_stride(surface);
            for (int row = 0; row < bind.height; ++row) {
                std::memcpy(cairo_image_surface_get_data(surface) + static_cast<size_t>(row) * stride,
                            client.slot(frame.slot) + static_cast<size_t>(row) * bind.bytesPerRow,
                            static_cast<size_t>(bind.width) * 4);
            }
            cairo_surface_mark_dirty(surface);
            const auto status = cairo_surface_write_to_png(surface, png.c_str());
            cairo_surface_destroy(surface);
            std::printf("wrote %s: %s\n", png.c_str(), cairo_status_to_string(status));
        }
        client.sendAck(frame.seq, frame.producedNs);
    }
    return 0;
}
