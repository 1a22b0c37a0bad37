// Sleep and wake of the computer, delivered on the main executor. The system source listens for
// logind's PrepareForSleep signal when a system bus is reachable and does nothing otherwise; tests
// drive a manual source.
#pragma once

#include <functional>
#include <memory>

namespace Platform {

class PowerEvents {
public:
    using Callback = std::function<void()>;
    virtual ~PowerEvents() = default;
    // Starts delivering; callbacks run on the main executor.
    virtual void start(Callback willSleep, Callback didWake) = 0;
    virtual void stop() = 0;
};

std::unique_ptr<PowerEvents> makeSystemPowerEvents();

class ManualPowerEvents final : public PowerEvents {
public:
    void start(Callback willSleep, Callback didWake) override;
    void stop() override;
    // Call on the main executor.
    void simulateSleep();
    void simulateWake();

private:
    Callback willSleep_;
    Callback didWake_;
};

} // namespace Platform
