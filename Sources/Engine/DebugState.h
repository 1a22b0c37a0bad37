// The oracle that tests read through GET /debug/state: every touch, key and button the phone
// received (bounded histories with running totals), the mode switches, and per-channel frame
// counters. Components record into it; the routes turn it into JSON. Io thread only.
#pragma once

#include "Engine/HidParser.h"
#include "Engine/LatencyStats.h"

#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>

namespace Engine {

enum class InputSource { hid, http };

// Counters of one video channel (the KWVS/3 video socket, or the capture channel).
struct ChannelStats {
    uint64_t clientsConnected = 0; // now
    uint64_t clientsTotal = 0;
    uint64_t binds = 0;
    uint64_t framesSent = 0;
    uint64_t framesSkipped = 0; // wanted to send but every slot waited for an acknowledgement
    uint64_t framesAcknowledged = 0;
    uint64_t unknownAcks = 0;    // acknowledgements naming no in-flight notice
    uint64_t slotWrites = 0;     // pixel copies into ring slots
    uint64_t protocolErrors = 0; // connections closed for a bad hello or message
    uint64_t stalledTicks = 0;   // ticks dropped by a stall fault
    LatencyStats ackLatency;     // produced to acknowledged, engine clock

    nlohmann::json toJson() const;
};

class DebugState {
public:
    static constexpr size_t touchHistory = 16384;
    static constexpr size_t keyHistory = 4096;
    static constexpr size_t buttonHistory = 1024;

    void recordTouch(const HidTouch& touch, InputSource source);
    void recordKey(const HidKey& key, InputSource source);
    void recordButton(const HidButton& button, InputSource source);
    void recordInstant(bool hard, InputSource source);
    void recordMusicSafe(bool on, InputSource source);
    void recordKeyboardReset(InputSource source);

    void recordHidConnection() { ++hidConnections_; }
    void recordHidProtocolError() { ++hidProtocolErrors_; }

    ChannelStats& video() { return video_; }
    ChannelStats& capture() { return capture_; }

    uint64_t touchCount() const { return touchCount_; }

    // The input part of /debug/state: the last `touchLimit` touches (and so on), oldest first,
    // each with its running index ("i") counted from 0 since start.
    nlohmann::json inputJson(size_t touchLimit, size_t keyLimit, size_t buttonLimit) const;
    nlohmann::json channelsJson() const;

private:
    struct TouchEntry {
        uint64_t index;
        HidTouch touch;
        InputSource source;
    };
    struct KeyEntry {
        uint64_t index;
        HidKey key;
        InputSource source;
    };
    struct ButtonEntry {
        uint64_t index;
        HidButton button;
        InputSource source;
    };

    std::deque<TouchEntry> touches_;
    std::deque<KeyEntry> keys_;
    std::deque<ButtonEntry> buttons_;
    uint64_t touchCount_ = 0;
    uint64_t keyCount_ = 0;
    uint64_t buttonCount_ = 0;
    uint64_t instantCount_ = 0;
    bool lastInstantHard_ = false;
    uint64_t musicSafeCount_ = 0;
    bool musicSafe_ = false;
    uint64_t keyboardResets_ = 0;
    uint64_t hidMessages_ = 0;
    uint64_t httpMessages_ = 0;
    uint64_t hidConnections_ = 0;
    uint64_t hidProtocolErrors_ = 0;
    ChannelStats video_;
    ChannelStats capture_;
};

} // namespace Engine
