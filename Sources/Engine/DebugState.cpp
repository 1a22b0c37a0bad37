#include "Engine/DebugState.h"

namespace Engine {

namespace {

const char* sourceName(InputSource source) {
    return source == InputSource::hid ? "hid" : "http";
}

template <typename Deque, typename Entry>
void pushBounded(Deque& deque, Entry entry, size_t bound) {
    deque.push_back(std::move(entry));
    if (deque.size() > bound) {
        deque.pop_front();
    }
}

template <typename Deque, typename ToJson>
nlohmann::json tail(const Deque& deque, size_t limit, ToJson toJson) {
    nlohmann::json array = nlohmann::json::array();
    const size_t start = deque.size() > limit ? deque.size() - limit : 0;
    for (size_t i = start; i < deque.size(); ++i) {
        array.push_back(toJson(deque[i]));
    }
    return array;
}

} // namespace

nlohmann::json ChannelStats::toJson() const {
    const auto latency = ackLatency.snapshot();
    return {
        {"clientsConnected", clientsConnected},
        {"clientsTotal", clientsTotal},
        {"binds", binds},
        {"framesSent", framesSent},
        {"framesSkipped", framesSkipped},
        {"framesAcknowledged", framesAcknowledged},
        {"unknownAcks", unknownAcks},
        {"slotWrites", slotWrites},
        {"protocolErrors", protocolErrors},
        {"stalledTicks", stalledTicks},
        {"ackLatency", {{"p50Ms", latency.p50Ms}, {"p95Ms", latency.p95Ms}, {"count", latency.count}}},
    };
}

void DebugState::recordTouch(const HidTouch& touch, InputSource source) {
    (source == InputSource::hid ? hidMessages_ : httpMessages_)++;
    pushBounded(touches_, TouchEntry{touchCount_++, touch, source}, touchHistory);
}

void DebugState::recordKey(const HidKey& key, InputSource source) {
    (source == InputSource::hid ? hidMessages_ : httpMessages_)++;
    pushBounded(keys_, KeyEntry{keyCount_++, key, source}, keyHistory);
}

void DebugState::recordButton(const HidButton& button, InputSource source) {
    (source == InputSource::hid ? hidMessages_ : httpMessages_)++;
    pushBounded(buttons_, ButtonEntry{buttonCount_++, button, source}, buttonHistory);
}

void DebugState::recordInstant(bool hard, InputSource source) {
    (source == InputSource::hid ? hidMessages_ : httpMessages_)++;
    ++instantCount_;
    lastInstantHard_ = hard;
}

void DebugState::recordMusicSafe(bool on, InputSource source) {
    (source == InputSource::hid ? hidMessages_ : httpMessages_)++;
    ++musicSafeCount_;
    musicSafe_ = on;
}

void DebugState::recordKeyboardReset(InputSource source) {
    (source == InputSource::hid ? hidMessages_ : httpMessages_)++;
    ++keyboardResets_;
}

nlohmann::json DebugState::inputJson(size_t touchLimit, size_t keyLimit, size_t buttonLimit) const {
    return {
        {"touchCount", touchCount_},
        {"touches", tail(touches_, touchLimit,
                         [](const TouchEntry& e) {
                             return nlohmann::json{{"i", e.index},
                                                   {"contact", e.touch.contact},
                                                   {"x", e.touch.x},
                                                   {"y", e.touch.y},
                                                   {"via", sourceName(e.source)}};
                         })},
        {"keyCount", keyCount_},
        {"keys", tail(keys_, keyLimit,
                      [](const KeyEntry& e) {
                          return nlohmann::json{
                              {"i", e.index},       {"down", e.key.down},      {"usage", e.key.usage},
                              {"mods", e.key.mods}, {"char", e.key.character}, {"via", sourceName(e.source)}};
                      })},
        {"buttonCount", buttonCount_},
        {"buttons", tail(buttons_, buttonLimit,
                         [](const ButtonEntry& e) {
                             return nlohmann::json{{"i", e.index},
                                                   {"name", e.button.name},
                                                   {"pressed", e.button.pressed},
                                                   {"via", sourceName(e.source)}};
                         })},
        {"instant", {{"count", instantCount_}, {"hard", lastInstantHard_}}},
        {"musicSafe", {{"count", musicSafeCount_}, {"on", musicSafe_}}},
        {"keyboardResets", keyboardResets_},
        {"hid",
         {{"connections", hidConnections_},
          {"messages", hidMessages_},
          {"protocolErrors", hidProtocolErrors_}}},
        {"httpInputMessages", httpMessages_},
    };
}

nlohmann::json DebugState::channelsJson() const {
    return {{"video", video_.toJson()}, {"capture", capture_.toJson()}};
}

} // namespace Engine
