#pragma once
// A SystemServices for tests. Every call is recorded in order as a text such as
// "setDoubleClickTime(100)", "setDoubleClickWidth(25)", "reloadCursors()", "beep(0)",
// "screenSize()", "tickCount()". actions() leaves out the pure queries (doubleClickTime,
// screenSize, osMinorVersion, systemDirectory, tickCount) so that tests of what the
// panel changed are not tied to how often it asked.
#include "platform/system_services.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qv::test {

class FakeSystemServices final : public platform::SystemServices {
public:
  void setScreenSize(int width, int height);        // default 1024 x 768
  void setOsMinorVersion(std::uint32_t minor);      // default 0
  void setSystemDirectory(std::string dir);         // default "/tmp/qv-system"
  void setTickCount(std::uint32_t ticks);           // default 0
  // Moves the clock on; tickCount() also adds tickStep after each call (default 0).
  void advanceTicks(std::uint32_t ms);
  void setTickStep(std::uint32_t ms);
  // What the three setters return (default true).
  void setSetterResult(bool ok);

  std::vector<std::string> calls() const;
  std::vector<std::string> actions() const;
  void clear();

  // The last values set (the start values until then: 500 ms, 4 x 4 pixels).
  std::uint32_t currentDoubleClickTime() const;
  int doubleClickWidth() const;
  int doubleClickHeight() const;

  bool setDoubleClickTime(std::uint32_t milliseconds) override;
  bool setDoubleClickWidth(int pixels) override;
  bool setDoubleClickHeight(int pixels) override;
  std::uint32_t doubleClickTime() override;
  void reloadCursors() override;
  platform::ScreenSize screenSize() override;
  std::uint32_t osMinorVersion() override;
  std::string systemDirectory() override;
  std::uint32_t tickCount() override;
  void beep(std::uint32_t type = 0) override;

private:
  void record(std::string call, bool query);

  struct Call {
    std::string text;
    bool query = false;
  };
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  platform::ScreenSize screen_{1024, 768};
  std::uint32_t osMinor_ = 0;
  std::string systemDir_ = "/tmp/qv-system";
  std::uint32_t ticks_ = 0;
  std::uint32_t tickStep_ = 0;
  bool setterResult_ = true;
  std::uint32_t dcTime_ = 500;
  int dcWidth_ = 4;
  int dcHeight_ = 4;
};

}  // namespace qv::test
