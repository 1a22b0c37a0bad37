#include "Platform/PowerEvents.h"

#include "Runtime/Executors.h"
#include "Runtime/Log.h"

#include <gio/gio.h>

#include <atomic>
#include <thread>

namespace Platform {

namespace {

// Runs a private GLib main loop on its own thread for the system bus subscription.
class LogindPowerEvents final : public PowerEvents {
public:
    ~LogindPowerEvents() override { stop(); }

    void start(Callback willSleep, Callback didWake) override {
        if (thread_.joinable()) {
            return;
        }
        willSleep_ = std::move(willSleep);
        didWake_ = std::move(didWake);
        context_ = g_main_context_new();
        loop_ = g_main_loop_new(context_, FALSE);
        thread_ = std::thread([this] { run(); });
    }

    void stop() override {
        if (!thread_.joinable()) {
            return;
        }
        g_main_loop_quit(loop_);
        g_main_context_wakeup(context_);
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
        loop_ = nullptr;
        context_ = nullptr;
    }

private:
    static void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                         GVariant* parameters, gpointer user) {
        auto* self = static_cast<LogindPowerEvents*>(user);
        gboolean goingToSleep = FALSE;
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
            return;
        }
        g_variant_get(parameters, "(b)", &goingToSleep);
        Callback callback = goingToSleep ? self->willSleep_ : self->didWake_;
        if (callback) {
            Runtime::postToMain(callback);
        }
    }

    void run() {
        Runtime::setCurrentThreadName("vedevave.power");
        g_main_context_push_thread_default(context_);
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
        if (!bus) {
            // No system bus (containers, CI): sleep and wake simply never arrive.
            g_clear_error(&error);
            g_main_context_pop_thread_default(context_);
            return;
        }
        const guint subscription = g_dbus_connection_signal_subscribe(
            bus, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
            "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onSignal, this, nullptr);
        g_main_loop_run(loop_);
        g_dbus_connection_signal_unsubscribe(bus, subscription);
        g_object_unref(bus);
        g_main_context_pop_thread_default(context_);
    }

    Callback willSleep_;
    Callback didWake_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
};

} // namespace

std::unique_ptr<PowerEvents> makeSystemPowerEvents() { return std::make_unique<LogindPowerEvents>(); }

void ManualPowerEvents::start(Callback willSleep, Callback didWake) {
    willSleep_ = std::move(willSleep);
    didWake_ = std::move(didWake);
}

void ManualPowerEvents::stop() {
    willSleep_ = nullptr;
    didWake_ = nullptr;
}

void ManualPowerEvents::simulateSleep() {
    if (willSleep_) {
        willSleep_();
    }
}

void ManualPowerEvents::simulateWake() {
    if (didWake_) {
        didWake_();
    }
}

} // namespace Platform
