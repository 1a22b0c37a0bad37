// Times a full redraw of the phone at 1170x2532 (the home screen with and without a pressed
// icon, an app screen, and every screen of the virtual phone) and the copy of a frame into a ring
// slot, in-process.
#include "Engine/FrameProducer.h"
#include "Engine/FrameRing.h"
#include "Engine/PhoneModel.h"

#include <chrono>
#include <cstdio>
#include <iterator>

#ifdef HAVE_GOOGLE_BENCHMARK
#include <benchmark/benchmark.h>
#endif

using namespace Engine;

namespace {

constexpr int width = 1170;
constexpr int height = 2532;

// Alternates the model between two states so every current() call re-renders.
template <typename Toggle>
double msPerRedraw(int iterations, Toggle toggle) {
    PhoneModel model(width, height, AppCatalog::standard());
    FrameProducer producer(model);
    producer.current();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
        toggle(model, i);
        producer.current();
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
           iterations;
}

void pressToggle(PhoneModel& model, int i) {
    // Finger down on Notes (highlight), then lifted far away (no tap): two different pictures.
    const uint16_t y = static_cast<uint16_t>(i % 2 == 0 ? 8500 : 30000);
    model.touch(i % 2 == 0, 6000, y, static_cast<uint64_t>(i) * 1'000'000);
}

void appToggle(PhoneModel& model, int i) {
    if (i % 2 == 0) {
        model.openApp("Notes");
    } else {
        model.goHome();
    }
}

// Brings a model to one screen; the redraw is then forced by a mute toggle, which only adds the
// small volume indicator to a full redraw of that screen.
struct ScreenSetup {
    const char* name;
    void (*setup)(PhoneModel& model);
};

void typeUs(PhoneModel& model, const char* text) {
    for (const char* c = text; *c; ++c) {
        const uint16_t usage = *c == ' ' ? 0x2C : static_cast<uint16_t>(0x04 + (*c - 'a'));
        model.key(true, usage, 0);
        model.key(false, usage, 0);
    }
}

const ScreenSetup screens[] = {
    {"lock", [](PhoneModel& m) { m.button("lock", true), m.button("lock", true); }},
    {"home", [](PhoneModel&) {}},
    {"spotlight + keyboard", [](PhoneModel& m) { m.touch(true, 32767, 53739, 0), m.touch(false, 32767, 53739, 1);
                                                 typeUs(m, "ca"); }},
    {"notes typing", [](PhoneModel& m) { m.openApp("Notes"); m.touch(true, 32767, 19660, 0);
                                         m.touch(false, 32767, 19660, 1); typeUs(m, "hello world"); }},
    {"messages", [](PhoneModel& m) { m.openApp("Messages"); }},
    {"settings", [](PhoneModel& m) { m.openApp("Settings"); }},
    {"calculator", [](PhoneModel& m) { m.openApp("Calculator"); }},
    {"switcher", [](PhoneModel& m) { m.openApp("Notes"); m.openApp("Safari"); m.button("app_switcher", true); }},
    {"control centre", [](PhoneModel& m) { m.openApp("Notes"); m.touch(true, 50000, 1200, 0);
                                           m.touch(true, 50000, 30000, 50'000'000);
                                           m.touch(false, 50000, 48000, 100'000'000); }},
    {"photos landscape", [](PhoneModel& m) { m.openApp("Photos"); }},
};

double msPerScreenRedraw(const ScreenSetup& screen, int iterations) {
    PhoneModel model(width, height, AppCatalog::standard());
    screen.setup(model);
    model.advance(PhoneModel::transitionNs * 10); // settled: no veil
    FrameProducer producer(model);
    producer.current();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
        model.button("mute", true);
        producer.current();
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
           iterations;
}

} // namespace

#ifdef HAVE_GOOGLE_BENCHMARK
static void BM_RedrawScreen(benchmark::State& state) {
    const ScreenSetup& screen = screens[state.range(0)];
    state.SetLabel(screen.name);
    PhoneModel model(width, height, AppCatalog::standard());
    screen.setup(model);
    model.advance(PhoneModel::transitionNs * 10);
    FrameProducer producer(model);
    for (auto _ : state) {
        model.button("mute", true);
        benchmark::DoNotOptimize(producer.current().pixels);
    }
}
BENCHMARK(BM_RedrawScreen)->DenseRange(0, std::size(screens) - 1)->Unit(benchmark::kMillisecond);

static void BM_RedrawHomePressed(benchmark::State& state) {
    PhoneModel model(width, height, AppCatalog::standard());
    FrameProducer producer(model);
    int i = 0;
    for (auto _ : state) {
        pressToggle(model, i++);
        benchmark::DoNotOptimize(producer.current().pixels);
    }
}
BENCHMARK(BM_RedrawHomePressed)->Unit(benchmark::kMillisecond);

static void BM_RedrawHomeAndApp(benchmark::State& state) {
    PhoneModel model(width, height, AppCatalog::standard());
    FrameProducer producer(model);
    int i = 0;
    for (auto _ : state) {
        appToggle(model, i++);
        benchmark::DoNotOptimize(producer.current().pixels);
    }
}
BENCHMARK(BM_RedrawHomeAndApp)->Unit(benchmark::kMillisecond);

static void BM_CopyFrameIntoSlot(benchmark::State& state) {
    PhoneModel model(width, height, AppCatalog::standard());
    FrameProducer producer(model);
    const FrameView frame = producer.current();
    auto ring = FrameRing::create(width, height, 2, RingMode::descriptor, "");
    int slot = 0;
    for (auto _ : state) {
        ring->writeSlot(slot, frame.pixels, frame.bytesPerRow);
        slot ^= 1;
    }
}
BENCHMARK(BM_CopyFrameIntoSlot)->Unit(benchmark::kMillisecond);

static void BM_StartupCaches(benchmark::State& state) {
    for (auto _ : state) {
        PhoneModel model(width, height, AppCatalog::standard());
        FrameProducer producer(model);
        benchmark::DoNotOptimize(producer.current().pixels);
    }
}
BENCHMARK(BM_StartupCaches)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
#else
int main() {
    std::printf("redraw, home screen with pressed icon: %.2f ms\n", msPerRedraw(200, pressToggle));
    std::printf("redraw, home screen <-> app screen:     %.2f ms\n", msPerRedraw(200, appToggle));
    for (const auto& screen : screens) {
        std::printf("redraw, %-30s %.2f ms\n", screen.name, msPerScreenRedraw(screen, 100));
    }
    return 0;
}
#endif
