#include "window_stand_in.h"

#include "platform/machine_root.h"
#include "platform/manual_event_loop.h"
#include "platform/posix/unix_window_endpoints.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <thread>

namespace qv::tools {

namespace {

const char* messageName(std::uint32_t message) {
  switch (message) {
    case 0x46F: return "ApplySettingsMessage";
    case 0x5BC: return "MonitorNotifyMessage";
    case 0x5BE: return "RightClickStopMessage";
    default: return nullptr;
  }
}

sigset_t endSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

// Turns the end signals into work on the loop. The signals are blocked in every thread
// (the mask is set before any thread starts) and taken here with sigwait, so no handler
// runs at an arbitrary point of the program.
class SignalWatcher {
public:
  SignalWatcher(platform::EventLoop& loop, bool& stop)
      : thread_([&loop, &stop] {
          const sigset_t set = endSignals();
          int sig = 0;
          sigwait(&set, &sig);
          loop.post([&stop] { stop = true; });
        }) {}
  ~SignalWatcher() {
    // Wakes the thread when the program ends for another reason; a signal that came
    // already ended it and this one is dropped.
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
  }
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
  std::thread thread_;
};

void appendLine(const std::string& path, const std::string& line) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::cerr << "cannot write " << path << "\n";
    return;
  }
  const std::string text = line + "\n";
  [[maybe_unused]] const auto ignored = ::write(fd, text.data(), text.size());
  ::close(fd);
}

}  // namespace

std::string describeMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%X", message);
  std::string line = std::string("received ") + number;
  if (const char* name = messageName(message)) line += std::string(" ") + name;
  line += " wParam=" + std::to_string(wParam) + " lParam=" + std::to_string(lParam);
  return line;
}

void sayLine(const std::string& line) { std::cout << line << std::endl; }

int runWindowStandIn(const StandInConfig& config) {
  const sigset_t set = endSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Printing is only a courtesy: output to a reader that went away must not end us.
  ::signal(SIGPIPE, SIG_IGN);

  std::string logPath;
  try {
    logPath = (platform::userDataDir() / config.logFileName).string();
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }

  platform::ManualEventLoop loop;
  bool stop = false;
  SignalWatcher signals(loop, stop);
  platform::UnixWindowEndpointFactory factory;
  std::string error;
  auto endpoint = factory.listen(
      config.className, config.title, loop,
      [&](const platform::WindowMessage& m) -> std::uint32_t {
        const std::string line = describeMessage(m.message, m.wParam, m.lParam);
        std::cout << line << std::endl;
        appendLine(logPath, line);
        if (config.afterMessage) config.afterMessage(m.message);
        if (config.stopMessage && m.message == *config.stopMessage) stop = true;
        return 0;
      },
      &error);
  if (!endpoint) {
    std::cerr << error << "\n";
    return 1;
  }
  std::cout << "listening as " << config.className << " \"" << config.title << "\"" << std::endl;
  while (!stop) loop.runFor(std::chrono::hours(1));
  endpoint.reset();  // the window is gone before the program says so
  std::cout << "ended" << std::endl;
  return 0;
}

}  // namespace qv::tools
