#pragma once
// Messages to windows of other programs, found by class name and title.
#include "platform/event_loop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qv::platform {

struct WindowMessage {
  std::uint32_t message = 0;
  std::uint32_t wParam = 0;
  std::uint32_t lParam = 0;
};

class WindowMessenger {
public:
  virtual ~WindowMessenger() = default;
  virtual bool windowExists(std::string_view className, std::string_view title) = 0;
  // Hands the message over and returns at once; false when the window is absent.
  virtual bool post(std::string_view className, std::string_view title, WindowMessage msg) = 0;
  // Waits until the window has handled the message; nullopt when absent or it broke off.
  virtual std::optional<std::uint32_t> send(std::string_view className, std::string_view title,
                                            WindowMessage msg) = 0;
};

// A window's endpoint that other programs can find. Messages are handled on the loop
// thread of the given EventLoop, in arrival order. Listening stops when this is destroyed.
class WindowEndpoint {
public:
  using Handler = std::function<std::uint32_t(const WindowMessage&)>;
  virtual ~WindowEndpoint() = default;
};

class WindowEndpointFactory {
public:
  virtual ~WindowEndpointFactory() = default;
  // nullptr when the endpoint cannot be created (error text in *error when given).
  virtual std::unique_ptr<WindowEndpoint> listen(std::string_view className, std::string_view title,
                                                 EventLoop& loop, WindowEndpoint::Handler handler,
                                                 std::string* error = nullptr) = 0;
};

}  // namespace qv::platform
