// Where the mirror's manual input is reported for workflow recording. The workflow recorder
// implements it; every call comes from the main thread, and each does nothing while not recording.
#pragma once

#include <cstdint>
#include <string_view>

namespace VedevaveApp {

class InputRecorder {
public:
    virtual ~InputRecorder() = default;

    virtual bool isRecording() const = 0;
    // A touch went down or came up at normalized content coordinates (0 to 1, y downward).
    virtual void touchDown(double nx, double ny) = 0;
    virtual void touchUp(double nx, double ny) = 0;
    // Text the user typed, or pasted from the host's clipboard.
    virtual void typed(std::string_view text) = 0;
    // A special key (return, tab, arrows, function keys...) with the usage and modifiers sent.
    virtual void recordKey(uint16_t usage, uint8_t mods) = 0;
};

} // namespace VedevaveApp
