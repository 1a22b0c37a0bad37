// The one command layer for phone input: the HID socket and the HTTP control routes both hand
// their decoded messages here, which records them in DebugState and applies them to PhoneModel,
// so both front ends behave identically. Io thread only.
#pragma once

#include "Engine/DebugState.h"
#include "Engine/HidParser.h"
#include "Engine/PhoneModel.h"

namespace Engine {

class InputDispatcher {
public:
    InputDispatcher(PhoneModel& model, DebugState& debug) : model_(model), debug_(debug) {}

    void apply(const HidMessage& message, InputSource source);

private:
    PhoneModel& model_;
    DebugState& debug_;
};

} // namespace Engine
