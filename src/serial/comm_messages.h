#pragma once
// What the reader and writer threads report to the component's owning thread.
#include <cstdint>
#include <functional>
#include <vector>

namespace qv::serial {

enum class CommMessageId : std::uint32_t {
  CommDataMessage = 0x401,     // wParam = byte count; block = the bytes and one zero byte
  CommErrorMessage = 0x402,    // lParam = line-error bits
  CommHangupMessage = 0x403,
  CommModemMessage = 0x404,    // lParam = modem bits: 8 carrier detect, 4 ring
  CommTxEmptyMessage = 0x405,
};

struct CommMessage {
  CommMessageId id = CommMessageId::CommHangupMessage;
  std::uint32_t wParam = 0;
  std::int32_t lParam = 0;
  std::vector<std::uint8_t> block;  // received bytes; owned by whoever holds the message
};

// Hands a message to the owning thread; false when it could not be queued.
using NotifySink = std::function<bool(CommMessage)>;

}  // namespace qv::serial
