#pragma once
// POSIX backend of a serial port: a terminal device opened non-blocking, held
// exclusively (TIOCEXCL and flock), configured through termios and waited on with poll.
// The pieces that carry logic are free functions so they can be tested on their own.
#include "platform/posix/posix_line_watch.h"
#include "platform/serial_port.h"

#include <termios.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace qv::platform::posix {

// termios speed constant for a baud rate; nullopt for 0 and rates termios cannot set.
std::optional<speed_t> speedForBaud(std::uint32_t baud);
std::uint32_t baudForSpeed(speed_t speed);

// Writes a line state into t: raw byte mode, data bits, parity (mark and space through
// CMSPAR), stop bits, XON/XOFF in and out with their characters, RTS/CTS handshake.
// Received errors and breaks are always marked in the byte stream (PARMRK) so the reader
// can report them. False, with t untouched, when a field is out of range.
bool applyLineState(termios& t, const SerialLineState& state);
// Reads back what termios holds into state (fields termios cannot hold are left alone).
void readLineState(const termios& t, SerialLineState& state);

// Undoes the marking of received bytes: 0xFF 0xFF is a 0xFF byte, 0xFF 0x00 c is byte c
// received with a parity or framing error, 0xFF 0x00 0x00 a break. Keeps its position
// inside a mark across calls, since a mark may be split between two reads.
//
// A 0xFF at the end of one input that turns out not to start a mark comes out with the
// next input's first byte: two bytes for one. A byte that finds no room in out is held and
// comes out first in the next call, so out never takes more than its size.
class MarkDecoder {
public:
  struct Options {
    bool replaceErrors = false;  // put replacement in place of a byte received with an error
    std::uint8_t replacement = 0;
    bool discardNull = false;    // drop zero data bytes
  };
  struct Output {
    std::size_t count = 0;          // bytes written to out
    std::uint32_t lineErrors = 0;   // line_error bits the marks name (a break)
    std::size_t errorBytes = 0;     // bytes marked as received with a parity or framing error
  };
  // Decodes in into out, after the bytes held from the last call.
  Output decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, const Options& options);
  // True when decoded bytes wait for room (an empty input hands them over).
  bool holding() const { return !held_.empty(); }
  void clear() {
    state_ = State::Data;
    held_.clear();
  }

private:
  enum class State { Data, SawFF, SawFF00 };
  State state_ = State::Data;
  std::vector<std::uint8_t> held_;  // decoded bytes that found no room, oldest first
};

// The line-error bits of one read. A byte marked as received with an error says only
// that a parity or a framing error happened; where the device counts errors, its counters
// name the kind (both bits when it counted both). Where it counts none of them, a line
// without a parity bit can only have met a framing error, and one with a parity bit is
// taken to have met a parity error.
std::uint32_t lineErrorsOfRead(const MarkDecoder::Output& marks, std::uint32_t counted, bool lineHasParity);

class PosixSerialPort final : public SerialPort {
public:
  // Takes over an open, locked terminal descriptor.
  explicit PosixSerialPort(int fd);
  ~PosixSerialPort() override;
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  bool setupQueues(std::size_t receive, std::size_t transmit) override;
  void purge(bool receive, bool transmit) override;
  std::optional<SerialLineState> lineState() override;
  bool setLineState(const SerialLineState& state) override;
  bool setTimeouts(const SerialTimeouts& timeouts) override;
  SerialTimeouts timeouts() override;
  ReadResult read(std::span<std::uint8_t> buffer, const WaitEvent& cancel) override;
  WriteResult write(std::span<const std::uint8_t> bytes, const WaitEvent& cancel) override;
  int pollHandle() const override { return fd_; }
  std::optional<ErrorCounts> errorCounts() override;

private:
  // What a read goes by, taken together under the settings lock.
  struct ReadSettings {
    SerialTimeouts timeouts;
    MarkDecoder::Options decoding;
    bool lineHasParity = false;
  };
  ReadSettings readSettings();
  void settingsChanged();
  // Line errors and modem-line changes counted by the device since the last call, as
  // line_error and modem_event bits; both 0 where the device keeps no counters.
  void takeCountedEvents(std::uint32_t& lineErrors, std::uint32_t& modemEvents);

  int fd_;
  // Settings change on the owning thread while the reader and writer use them.
  std::mutex settingsMutex_;
  SerialLineState kept_;
  SerialTimeouts timeouts_;
  // Set by every change of the settings, so that a read waiting for its first byte takes
  // them up; none when the system refused an event (a change then waits for the next read).
  std::optional<WaitEvent> settingsChanged_;
  MarkDecoder decoder_;        // used by the reading thread; cleared by purge
  std::vector<std::uint8_t> raw_;  // bytes as read, before unmarking; reading thread only
  bool errorCountsAvailable_;  // the device keeps line-error counters (real UARTs)
  std::uint32_t lastCounts_[6] = {0, 0, 0, 0, 0, 0};  // frame, overrun, parity, break, ring, carrier
  // Wakes a read waiting on a quiet line when the ring or carrier-detect line changes (only
  // where the device keeps counters); errors and breaks arrive marked in the data instead.
  std::optional<LineChangeWatch> lineWatch_;
};

}  // namespace qv::platform::posix
