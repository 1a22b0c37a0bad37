// The user-visible state of the device session, with the texts and badge each state shows.
#pragma once

#include <string>
#include <vector>

namespace VedevaveApp {

struct ConnectionState {
    enum class Kind { idle, pickingDevice, openingTunnel, attachingHID, startingCapture, connected, recovering, failed };

    Kind kind = Kind::idle;
    std::string text;   // the link (opening, attaching), the codec (connected) or the message
    std::string detail; // failed only
    int attempt = 0;    // recovering only

    static ConnectionState idle() { return {Kind::idle, "", "", 0}; }
    static ConnectionState pickingDevice() { return {Kind::pickingDevice, "", "", 0}; }
    static ConnectionState openingTunnel(std::string link) { return {Kind::openingTunnel, std::move(link), "", 0}; }
    static ConnectionState attachingHID(std::string link) { return {Kind::attachingHID, std::move(link), "", 0}; }
    static ConnectionState startingCapture() { return {Kind::startingCapture, "", "", 0}; }
    static ConnectionState connected(std::string codec) { return {Kind::connected, std::move(codec), "", 0}; }
    static ConnectionState recovering(std::string message, int attempt) {
        return {Kind::recovering, std::move(message), "", attempt};
    }
    static ConnectionState failed(std::string message, std::string detail) {
        return {Kind::failed, std::move(message), std::move(detail), 0};
    }

    std::string title() const;
    std::string badgeSymbol() const;
    std::string badgeText() const;
    // The connecting overlay's progress lines, each a symbol, two spaces and the step.
    std::vector<std::string> progressLines() const;

    bool operator==(const ConnectionState&) const = default;
};

} // namespace VedevaveApp
