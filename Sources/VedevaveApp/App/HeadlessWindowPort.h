// The window port without a window: state changes become "Vedevave: " diagnostic lines, and
// repeated identical texts are written once.
#pragma once

#include "VedevaveApp/App/MainWindowPort.h"

#include <functional>

namespace VedevaveApp {

class HeadlessWindowPort final : public MainWindowPort {
public:
    // `onShowPicker` runs when the controller returns to the device picker.
    explicit HeadlessWindowPort(std::function<void()> onShowPicker = {});

    void setWindowTitle(const std::string& title) override;
    void setStatusChip(const std::string& text) override;
    // Once the mirror shows, the chip carries the frame rate several times a second: not logged.
    void setChromeHidden(bool hidden) override { isChromeHidden_ = hidden; }
    void setDeviceBadge(const std::string&, const std::string&, const std::optional<std::string>&) override {}
    void setLinkBadge(const std::string& symbol, const std::string& text, const std::string& tooltip) override;
    void showConnectingOverlay(const std::string& deviceName) override;
    bool isConnectingOverlayShown() const override { return isOverlayShown_; }
    void updateConnectingOverlay(const OverlayContent& content) override;
    void hideConnectingOverlay() override;
    void updateHeader(const HeaderContent&) override {}
    void showFirstHints() override {}
    void focusVideoView() override {}
    void showDevicePicker() override;

private:
    void say(const std::string& line);

    std::function<void()> onShowPicker_;
    bool isOverlayShown_ = false;
    bool isChromeHidden_ = false;
    std::string lastLine_;
};

} // namespace VedevaveApp
