// The engine contract's HTTP endpoints: GET /status with the foreground
// report, POST /open-app with the launch receipt, and the input fallbacks /touch, /button, /key,
// /instant, /music-safe, /keyboard-reset, which go through the same InputDispatcher as the HID
// socket. Io thread only.
#pragma once

#include "Engine/EngineOptions.h"
#include "Engine/Faults.h"
#include "Engine/InputDispatcher.h"
#include "Engine/PhoneModel.h"
#include "Engine/Router.h"

#include <functional>

namespace Engine {

class ControlRoutes {
public:
    ControlRoutes(const EngineOptions& options, PhoneModel& model, InputDispatcher& dispatcher,
                  const Faults& faults, std::function<bool()> isStarted);

    void install(Router& router);

    HttpResponse status(const HttpRequest& request) const;
    HttpResponse openApp(const HttpRequest& request);
    HttpResponse touch(const HttpRequest& request);
    HttpResponse button(const HttpRequest& request);
    HttpResponse key(const HttpRequest& request);
    HttpResponse instant(const HttpRequest& request);
    HttpResponse musicSafe(const HttpRequest& request);
    HttpResponse keyboardReset(const HttpRequest& request);

private:
    const EngineOptions& options_;
    PhoneModel& model_;
    InputDispatcher& dispatcher_;
    const Faults& faults_;
    std::function<bool()> isStarted_;
};

} // namespace Engine
