#include "VedevaveApp/App/ConnectionState.h"

#include <algorithm>
#include <cctype>

namespace VedevaveApp {

namespace {
std::string linkSymbol(const std::string& link) {
    std::string lowered = link;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    return lowered.find("wi") != std::string::npos ? "wifi" : "cable.connector";
}
} // namespace

std::string ConnectionState::title() const {
    switch (kind) {
    case Kind::openingTunnel: return "Opening tunnel…";
    case Kind::attachingHID: return "Attaching controls…";
    case Kind::connected: return "Connected";
    case Kind::recovering: return text + " (" + std::to_string(attempt) + "/3)";
    case Kind::failed: return text;
    case Kind::idle: return "Waiting for device…";
    case Kind::pickingDevice: return "Select an iPhone";
    case Kind::startingCapture: return "Waiting for screen…";
    }
    return "";
}

std::string ConnectionState::badgeSymbol() const {
    switch (kind) {
    case Kind::openingTunnel:
    case Kind::attachingHID: return linkSymbol(text);
    case Kind::connected:
    case Kind::startingCapture: return "sparkles.tv";
    case Kind::recovering: return "arrow.clockwise";
    case Kind::failed: return "exclamationmark.triangle";
    case Kind::idle:
    case Kind::pickingDevice: return "cable.connector";
    }
    return "";
}

std::string ConnectionState::badgeText() const {
    switch (kind) {
    case Kind::openingTunnel:
    case Kind::attachingHID:
    case Kind::connected: return text;
    case Kind::recovering: return "recovering…";
    case Kind::failed: return "failed";
    case Kind::idle: return "USB · waiting";
    case Kind::pickingDevice: return "USB · pick a phone";
    case Kind::startingCapture: return "capture…";
    }
    return "";
}

std::vector<std::string> ConnectionState::progressLines() const {
    switch (kind) {
    case Kind::openingTunnel:
        return {"●  Open CoreDevice tunnel", "○  Attach HID control", "○  Start screen capture"};
    case Kind::attachingHID:
        return {"✓  Open CoreDevice tunnel", "●  Attach HID control", "○  Start screen capture"};
    case Kind::startingCapture:
        return {"✓  Open CoreDevice tunnel", "✓  Attach HID control", "●  Start screen capture"};
    case Kind::connected:
        return {"✓  Open CoreDevice tunnel", "✓  Attach HID control", "✓  Start screen capture"};
    case Kind::recovering:
        return {"●  Recovering connection", "○  Reopen tunnel if needed", "○  Resume screen capture"};
    case Kind::failed:
        return {"✗  Connection failed", "○  Check cable / unlock / Trust", "○  Enable Developer Mode"};
    case Kind::idle:
    case Kind::pickingDevice:
        return {"○  Connect iPhone by USB", "○  Unlock & Trust this Mac", "○  Enable Developer Mode"};
    }
    return {};
}

} // namespace VedevaveApp
