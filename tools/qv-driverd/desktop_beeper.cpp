// The beep through the desktop's event sounds (libcanberra and its sound-server backend,
// libcanberra-pulse). Connecting to the sound server and playing happen on a thread of
// the beeper's own, so a slow or missing sound server never holds up the driver: a pen
// down only leaves a request there. Where no sound can be had the beep stays silent, and
// the connection is tried again now and then (a session's sound server may start after
// the driver).
#include "beeper.h"

#include <canberra.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

namespace qv::driverd {

namespace {

using namespace std::chrono_literals;

// The long beep is the short one (the theme's "bell", about 0.14 s) played this many times,
// this far apart.
constexpr int kLongBeepRepeats = 3;
constexpr auto kLongBeepSpacing = 160ms;
// How long a failed connection to the sound server is left before it is tried again.
constexpr auto kRetryAfter = 10s;

struct ContextFree {
  void operator()(ca_context* c) const { ca_context_destroy(c); }
};
using Context = std::unique_ptr<ca_context, ContextFree>;

Context openContext() {
  ca_context* raw = nullptr;
  if (ca_context_create(&raw) != CA_SUCCESS) return nullptr;
  Context context(raw);
  ca_context_change_props(raw, CA_PROP_APPLICATION_NAME, "Quorvane touch-screen driver", CA_PROP_APPLICATION_ID,
                          "org.quorvane.qv-driverd", nullptr);
  // Through the sound server only (PulseAudio, or PipeWire's server for its clients): the
  // sound device itself may be held by the server, and where there is no server, ALSA
  // would fill the driver's log with its complaints at every beep.
  if (ca_context_set_driver(raw, "pulse") != CA_SUCCESS || ca_context_open(raw) != CA_SUCCESS) return nullptr;
  return context;
}

// A thread that takes no signals, nor do the sound library's threads it starts: a stop
// signal must reach the thread that waits for it, not end the process here.
template <typename Body>
std::jthread threadWithoutSignals(Body body) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  std::jthread thread(std::move(body));
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return thread;
}

class DesktopBeeper final : public Beeper {
public:
  DesktopBeeper() : worker_(threadWithoutSignals([this](std::stop_token stop) { run(stop); })) {}

  void beep(bool longBeep) override {
    {
      std::lock_guard lock(mutex_);
      // Beeps that come faster than they play merge into one; a long one stays long.
      pendingLong_ = pending_ ? (pendingLong_ || longBeep) : longBeep;
      pending_ = true;
    }
    wake_.notify_all();
  }

private:
  void run(std::stop_token stop) {
    Context context;
    auto nextTry = std::chrono::steady_clock::time_point{};
    for (;;) {
      bool longBeep = false;
      {
        std::unique_lock lock(mutex_);
        if (!wake_.wait(lock, stop, [this] { return pending_; })) break;
        pending_ = false;
        longBeep = pendingLong_;
      }
      if (!context && std::chrono::steady_clock::now() >= nextTry) {
        context = openContext();
        if (!context) nextTry = std::chrono::steady_clock::now() + kRetryAfter;
      }
      if (!context) continue;
      for (int i = 0; i < (longBeep ? kLongBeepRepeats : 1); ++i) {
        if (i > 0) {
          std::unique_lock lock(mutex_);
          wake_.wait_for(lock, stop, kLongBeepSpacing, [] { return false; });  // only a stop ends it early
          if (stop.stop_requested()) break;
        }
        if (!playBell(context.get())) {
          context.reset();  // the sound server went away: connect again at the next beep
          break;
        }
      }
    }
  }

  // Plays the bell without waiting for it; false when the sound server is lost.
  static bool playBell(ca_context* context) {
    const int rc = ca_context_play(context, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION, "Touch",
                                   CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr);
    return rc != CA_ERROR_DISCONNECTED && rc != CA_ERROR_STATE && rc != CA_ERROR_NOTAVAILABLE;
  }

  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool pending_ = false;
  bool pendingLong_ = false;
  std::jthread worker_;  // last: it ends (and is joined) before the rest goes
};

}  // namespace

std::unique_ptr<Beeper> openDesktopBeeper() { return std::make_unique<DesktopBeeper>(); }

}  // namespace qv::driverd
