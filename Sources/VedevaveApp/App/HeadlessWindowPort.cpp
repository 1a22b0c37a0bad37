#include "VedevaveApp/App/HeadlessWindowPort.h"

#include "Runtime/Log.h"

namespace VedevaveApp {

HeadlessWindowPort::HeadlessWindowPort(std::function<void()> onShowPicker) : onShowPicker_(std::move(onShowPicker)) {}

void HeadlessWindowPort::say(const std::string& line) {
    if (line == lastLine_) {
        return;
    }
    lastLine_ = line;
    Runtime::logLine("Vedevave: " + line);
}

void HeadlessWindowPort::setWindowTitle(const std::string& title) { say("device " + title); }

void HeadlessWindowPort::setStatusChip(const std::string& text) {
    if (!isChromeHidden_) {
        say("status " + text);
    }
}

void HeadlessWindowPort::setLinkBadge(const std::string&, const std::string& text, const std::string&) {
    say("link " + text);
}

void HeadlessWindowPort::showConnectingOverlay(const std::string&) { isOverlayShown_ = true; }

void HeadlessWindowPort::updateConnectingOverlay(const OverlayContent& content) {
    if (content.isFailed) {
        say("failed: " + content.title + " — " + content.explanation);
    }
}

void HeadlessWindowPort::hideConnectingOverlay() { isOverlayShown_ = false; }

void HeadlessWindowPort::showDevicePicker() {
    if (onShowPicker_) {
        onShowPicker_();
    }
}

} // namespace VedevaveApp
