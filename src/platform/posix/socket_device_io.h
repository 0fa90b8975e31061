#pragma once
// The driver's device as a Unix stream socket: opening is connect, each request is one
// frame and waits for its reply (all integers little-endian):
//   request : u32 code | u32 inLength | u32 outLength | inLength bytes
//   reply   : u32 ok (1 success) | u32 n (n <= outLength) | n bytes
// A reply that does not come within the reply timeout, a broken connection or a
// malformed reply fails the request and closes the connection for good.
#include "platform/device_io.h"

#include <chrono>
#include <string>

namespace qv::platform {

class SocketDeviceIo : public DeviceIo {
public:
  static constexpr std::chrono::milliseconds kDefaultReplyTimeout{5000};

  SocketDeviceIo() = default;
  // The timeout bounds one whole request: sending it and receiving its reply.
  explicit SocketDeviceIo(std::chrono::milliseconds replyTimeout) : timeout_(replyTimeout) {}

  // nullptr when the socket is missing, refuses, or its path is too long for a socket.
  std::unique_ptr<DeviceHandle> open(const std::filesystem::path& device) override;
  // The same; when it fails, *why (when given) says which of those it was. Callers still
  // treat every failed open alike: the text is for the person reading it.
  std::unique_ptr<DeviceHandle> open(const std::filesystem::path& device, std::string* why);

private:
  std::chrono::milliseconds timeout_ = kDefaultReplyTimeout;
};

}  // namespace qv::platform
