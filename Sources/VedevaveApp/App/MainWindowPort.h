// Everything the session controller shows goes through this port: the desktop window implements it
// with widgets (its calls are marshalled to the GUI thread), the headless build writes the changes
// as diagnostic lines, and tests record them. Called on the main executor only.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace VedevaveApp {

struct OverlayContent {
    std::string title;
    std::vector<std::string> lines;
    bool isFailed = false;
    std::string explanation; // failed presentation only
};

struct HeaderContent {
    std::string deviceName;
    std::string linkText;    // "USB · 60 FPS"
    std::string latencyText; // "12ms"
    bool isConnected = false;
};

class MainWindowPort {
public:
    virtual ~MainWindowPort() = default;

    virtual void setWindowTitle(const std::string& title) = 0;
    virtual void setStatusChip(const std::string& text) = 0;
    // Once the mirror shows, the chip and the badges step aside.
    virtual void setChromeHidden(bool hidden) = 0;
    virtual void setDeviceBadge(const std::string& symbol, const std::string& text,
                                const std::optional<std::string>& tooltip) = 0;
    virtual void setLinkBadge(const std::string& symbol, const std::string& text, const std::string& tooltip) = 0;

    virtual void showConnectingOverlay(const std::string& deviceName) = 0;
    virtual bool isConnectingOverlayShown() const = 0;
    virtual void updateConnectingOverlay(const OverlayContent& content) = 0;
    virtual void hideConnectingOverlay() = 0;

    virtual void updateHeader(const HeaderContent& content) = 0;
    virtual void showFirstHints() = 0;
    virtual void focusVideoView() = 0;
    virtual void showDevicePicker() = 0;
};

} // namespace VedevaveApp
