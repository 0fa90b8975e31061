#include "platform/posix/store_system_services.h"

#include "platform/machine_root.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <exception>

namespace qv::platform {

namespace {

constexpr std::string_view kSpeed = "DoubleClickSpeed";
constexpr std::string_view kWidth = "DoubleClickWidth";
constexpr std::string_view kHeight = "DoubleClickHeight";

}  // namespace

std::uint64_t steadyMilliseconds() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::uint32_t osMinorFromRelease(std::string_view release) {
  const auto dot = release.find('.');
  if (dot == std::string_view::npos) return 0;
  const char* begin = release.data() + dot + 1;
  const char* end = release.data() + release.size();
  std::uint32_t minor = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, minor);
  if (ec != std::errc() || ptr == begin) return 0;
  return minor;
}

StoreSystemServices::StoreSystemServices(RegistryStore& store, SystemHooks hooks, MillisecondClock clock)
    : store_(store), hooks_(std::move(hooks)), clock_(clock ? std::move(clock) : steadyMilliseconds) {}

bool StoreSystemServices::store(std::string_view name, long long value) {
  if (!store_.createKey(RegistryRoot::CurrentUser, kMouseSettingsKey)) return false;
  return store_.writeValue(RegistryRoot::CurrentUser, kMouseSettingsKey, name,
                           RegistryValue::text(std::to_string(value)));
}

std::optional<long long> StoreSystemServices::stored(std::string_view name) {
  const auto value = store_.readValue(RegistryRoot::CurrentUser, kMouseSettingsKey, name);
  if (!value || (value->type != regtype::Sz && value->type != regtype::ExpandSz)) return std::nullopt;
  const char* begin = reinterpret_cast<const char*>(value->data.data());
  const char* end = begin + value->data.size();
  long long number = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, number);
  if (ec != std::errc() || ptr == begin) return std::nullopt;
  return number;
}

int StoreSystemServices::storedSize(std::string_view name) {
  const auto value = stored(name);
  return value ? static_cast<int>(*value) : kDefaultDoubleClickSize;
}

bool StoreSystemServices::setDoubleClickTime(std::uint32_t milliseconds) {
  if (milliseconds == 0) milliseconds = kDefaultDoubleClickTime;
  if (hooks_.applyDoubleClickTime) hooks_.applyDoubleClickTime(milliseconds);
  return store(kSpeed, milliseconds);
}

bool StoreSystemServices::setDoubleClickWidth(int pixels) {
  if (hooks_.applyDoubleClickRect) hooks_.applyDoubleClickRect(pixels, storedSize(kHeight));
  return store(kWidth, pixels);
}

bool StoreSystemServices::setDoubleClickHeight(int pixels) {
  if (hooks_.applyDoubleClickRect) hooks_.applyDoubleClickRect(storedSize(kWidth), pixels);
  return store(kHeight, pixels);
}

std::uint32_t StoreSystemServices::doubleClickTime() {
  const auto value = stored(kSpeed);
  if (!value || *value <= 0 || *value > 0xFFFFFFFFLL) return kDefaultDoubleClickTime;
  return static_cast<std::uint32_t>(*value);
}

void StoreSystemServices::reloadCursors() {
  if (hooks_.reloadCursors) hooks_.reloadCursors();
}

ScreenSize StoreSystemServices::screenSize() {
  return hooks_.screenSize ? hooks_.screenSize() : kDefaultScreenSize;
}

std::uint32_t StoreSystemServices::osMinorVersion() {
  utsname names{};
  if (::uname(&names) != 0) return 0;
  return osMinorFromRelease(names.release);
}

std::string StoreSystemServices::systemDirectory() {
  try {
    return systemDir().string();
  } catch (const std::exception&) {
    return {};
  }
}

std::uint32_t StoreSystemServices::tickCount() {
  return static_cast<std::uint32_t>(clock_() & 0xFFFFFFFFu);
}

void StoreSystemServices::beep(std::uint32_t type) {
  if (hooks_.beep) {
    hooks_.beep(type);
    return;
  }
  if (::isatty(STDERR_FILENO)) {
    [[maybe_unused]] const auto ignored = ::write(STDERR_FILENO, "\a", 1);
  }
}

}  // namespace qv::platform
