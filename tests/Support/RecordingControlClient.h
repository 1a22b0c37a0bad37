// A ControlClientInterface that only remembers what it was asked to do, in call order, as readable
// lines ("touch contact 10 20", "key down 0x04 'a' 0x08"), so that a test compares one list.
// Header-only; thread-safe so that it also serves tests of actors that call from worker threads.
#pragma once

#include "ControlKit/ControlClientInterface.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

class RecordingControlClient : public ControlKit::ControlClientInterface {
public:
    void touch(std::string_view type, int32_t x, int32_t y) override {
        add("touch " + std::string(type) + " " + std::to_string(x) + " " + std::to_string(y));
    }
    void tap(int32_t x, int32_t y) override { add("tap " + std::to_string(x) + " " + std::to_string(y)); }
    void releaseTouch(int32_t x, int32_t y, uint32_t minHoldUs, uint64_t pressedAt) override {
        add("releaseTouch " + std::to_string(x) + " " + std::to_string(y) + " hold " +
            std::to_string(minHoldUs) + " at " + std::to_string(pressedAt));
    }
    void button(std::string_view name, std::string_view state) override {
        add("button " + std::string(name) + " " + std::string(state));
    }
    void key(bool down, uint16_t usage, std::string_view character, uint8_t mods) override {
        char head[32];
        char tail[16];
        std::snprintf(head, sizeof head, "key %s 0x%02X '", down ? "down" : "up", usage);
        std::snprintf(tail, sizeof tail, "' 0x%02X", mods);
        add(head + std::string(character) + tail);
    }
    void instant(bool hard) override { add(std::string("instant ") + (hard ? "hard" : "soft")); }
    void musicSafe(bool on) override { add(std::string("musicSafe ") + (on ? "on" : "off")); }
    void keyboardReset() override { add("keyboardReset"); }
    void swipeUp() override { add("swipeUp"); }
    void swipeDown() override { add("swipeDown"); }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // Returns the calls so far and forgets them, so that a test can check one phase at a time.
    std::vector<std::string> takeCalls() {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }

private:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(line));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_; // guarded by mutex_
};

} // namespace TestSupport
