#include "support/fake_system_services.h"

namespace qv::test {

void FakeSystemServices::setScreenSize(int width, int height) {
  std::lock_guard lock(mutex_);
  screen_ = {width, height};
}

void FakeSystemServices::setOsMinorVersion(std::uint32_t minor) {
  std::lock_guard lock(mutex_);
  osMinor_ = minor;
}

void FakeSystemServices::setSystemDirectory(std::string dir) {
  std::lock_guard lock(mutex_);
  systemDir_ = std::move(dir);
}

void FakeSystemServices::setTickCount(std::uint32_t ticks) {
  std::lock_guard lock(mutex_);
  ticks_ = ticks;
}

void FakeSystemServices::advanceTicks(std::uint32_t ms) {
  std::lock_guard lock(mutex_);
  ticks_ += ms;  // wraps at 32 bits like the real count
}

void FakeSystemServices::setTickStep(std::uint32_t ms) {
  std::lock_guard lock(mutex_);
  tickStep_ = ms;
}

void FakeSystemServices::setSetterResult(bool ok) {
  std::lock_guard lock(mutex_);
  setterResult_ = ok;
}

std::vector<std::string> FakeSystemServices::calls() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& c : calls_) out.push_back(c.text);
  return out;
}

std::vector<std::string> FakeSystemServices::actions() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& c : calls_) {
    if (!c.query) out.push_back(c.text);
  }
  return out;
}

void FakeSystemServices::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::uint32_t FakeSystemServices::currentDoubleClickTime() const {
  std::lock_guard lock(mutex_);
  return dcTime_;
}

int FakeSystemServices::doubleClickWidth() const {
  std::lock_guard lock(mutex_);
  return dcWidth_;
}

int FakeSystemServices::doubleClickHeight() const {
  std::lock_guard lock(mutex_);
  return dcHeight_;
}

void FakeSystemServices::record(std::string call, bool query) {
  calls_.push_back({std::move(call), query});
}

bool FakeSystemServices::setDoubleClickTime(std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  record("setDoubleClickTime(" + std::to_string(milliseconds) + ")", false);
  if (setterResult_) dcTime_ = milliseconds;
  return setterResult_;
}

bool FakeSystemServices::setDoubleClickWidth(int pixels) {
  std::lock_guard lock(mutex_);
  record("setDoubleClickWidth(" + std::to_string(pixels) + ")", false);
  if (setterResult_) dcWidth_ = pixels;
  return setterResult_;
}

bool FakeSystemServices::setDoubleClickHeight(int pixels) {
  std::lock_guard lock(mutex_);
  record("setDoubleClickHeight(" + std::to_string(pixels) + ")", false);
  if (setterResult_) dcHeight_ = pixels;
  return setterResult_;
}

std::uint32_t FakeSystemServices::doubleClickTime() {
  std::lock_guard lock(mutex_);
  record("doubleClickTime()", true);
  return dcTime_;
}

void FakeSystemServices::reloadCursors() {
  std::lock_guard lock(mutex_);
  record("reloadCursors()", false);
}

platform::ScreenSize FakeSystemServices::screenSize() {
  std::lock_guard lock(mutex_);
  record("screenSize()", true);
  return screen_;
}

std::uint32_t FakeSystemServices::osMinorVersion() {
  std::lock_guard lock(mutex_);
  record("osMinorVersion()", true);
  return osMinor_;
}

std::string FakeSystemServices::systemDirectory() {
  std::lock_guard lock(mutex_);
  record("systemDirectory()", true);
  return systemDir_;
}

std::uint32_t FakeSystemServices::tickCount() {
  std::lock_guard lock(mutex_);
  record("tickCount()", true);
  const std::uint32_t now = ticks_;
  ticks_ += tickStep_;
  return now;
}

void FakeSystemServices::beep(std::uint32_t type) {
  std::lock_guard lock(mutex_);
  record("beep(" + std::to_string(type) + ")", false);
}

}  // namespace qv::test
