#pragma once
// Serial ports: naming, the presence test, and one open port with the operations the
// serial component and its reader and writer threads need. Waiting is done on events
// (an eventfd each on POSIX) so that every blocking call can be cut short by a close
// event without polling.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv::platform {

// A manual-reset event that a thread can block on together with a port. Created not
// signalled; once set it stays set until reset. Move-only; closes its handle when it goes.
class WaitEvent {
public:
  // nullopt when the system refuses another event.
  static std::optional<WaitEvent> create();

  WaitEvent(WaitEvent&& other) noexcept;
  WaitEvent& operator=(WaitEvent&& other) noexcept;
  WaitEvent(const WaitEvent&) = delete;
  WaitEvent& operator=(const WaitEvent&) = delete;
  ~WaitEvent();

  void set() const;
  void reset() const;
  bool isSet() const;  // does not wait
  int nativeHandle() const { return fd_; }

private:
  explicit WaitEvent(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Blocks until one of the events is set and returns the index of the first set event
// in the list (earlier entries win when several are set); -1 when the wait itself failed.
int waitForAny(std::span<const WaitEvent* const> events);

// Line settings of a port, in the terms of a device control block. Fields that the
// system's terminal interface cannot express are kept by the port and reported back by
// lineState(), so that a read-modify-write of the state loses nothing.
enum class DtrMode : std::uint8_t { Off, On, Handshake };
enum class RtsMode : std::uint8_t { Off, On, Handshake, Toggle };

struct SerialLineState {
  std::uint32_t baudRate = 9600;
  bool binary = true;            // raw bytes, no end-of-file processing
  bool parityCheck = false;      // check parity and report errors
  bool outxCtsFlow = false;      // hold output while CTS is low
  bool outxDsrFlow = false;      // hold output while DSR is low (kept, not expressible)
  DtrMode dtr = DtrMode::On;
  bool dsrSensitivity = false;   // kept, not expressible
  bool txContinueOnXoff = true;  // kept, not expressible
  bool outX = false;             // XON/XOFF output control
  bool inX = false;              // XON/XOFF input control
  bool replaceErrorChar = false; // replace bytes received with an error by errorChar
  bool discardNull = false;      // drop received zero bytes
  RtsMode rts = RtsMode::On;
  bool abortOnError = false;     // kept, not expressible
  std::uint16_t xonLimit = 0;    // kept: the terminal interface has no thresholds
  std::uint16_t xoffLimit = 0;   // kept
  std::uint8_t byteSize = 8;     // 5..8
  std::uint8_t parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stopBits = 0;     // 0 one, 1 one and a half (sent as two), 2 two
  std::uint8_t xonChar = 0x11;
  std::uint8_t xoffChar = 0x13;
  std::uint8_t errorChar = 0;
  std::uint8_t eofChar = 0;      // kept
  std::uint8_t evtChar = 0;      // kept
};

// Time-outs of a port in milliseconds. A read waits for its first byte (up to the total
// time-out when one is set), then returns when the line has been quiet for the interval,
// the buffer is full or the total time-out has passed. An interval of 0xFFFFFFFF with
// both read totals 0 makes a read return at once with what has arrived.
struct SerialTimeouts {
  std::uint32_t readInterval = 0;
  std::uint32_t readTotalMultiplier = 0;
  std::uint32_t readTotalConstant = 0;
  std::uint32_t writeTotalMultiplier = 0;
  std::uint32_t writeTotalConstant = 0;
};

// Line-error bits, as reported to the owner of a port.
namespace line_error {
inline constexpr std::uint32_t Overrun = 0x0002;   // the receiver lost bytes
inline constexpr std::uint32_t Parity = 0x0004;
inline constexpr std::uint32_t Frame = 0x0008;
inline constexpr std::uint32_t Break = 0x0010;
}  // namespace line_error

// Modem-line change bits.
namespace modem_event {
inline constexpr std::uint32_t Ring = 4;
inline constexpr std::uint32_t CarrierDetect = 8;
}  // namespace modem_event

enum class IoStatus {
  Ok,
  Cancelled,      // the cancel event was set
  InvalidHandle,  // the port was closed under the caller
  Failed,         // any other failure, including a line that was hung up
};

struct ReadResult {
  IoStatus status = IoStatus::Failed;
  std::size_t count = 0;          // bytes placed in the buffer
  std::uint32_t lineErrors = 0;   // line_error bits met while reading
  std::uint32_t modemEvents = 0;  // modem_event bits met while reading
};

struct WriteResult {
  IoStatus status = IoStatus::Failed;
  std::size_t count = 0;
};

class SerialPort {
public:
  virtual ~SerialPort() = default;

  // Receive and transmit queue sizes; false when the object is no terminal.
  virtual bool setupQueues(std::size_t receive, std::size_t transmit) = 0;
  // Drops what waits in the receive and/or transmit queue.
  virtual void purge(bool receive, bool transmit) = 0;
  virtual std::optional<SerialLineState> lineState() = 0;
  // False, with the port left as it was, when the state cannot be set (for example
  // baud rate 0 or a speed the system does not offer).
  virtual bool setLineState(const SerialLineState& state) = 0;
  virtual bool setTimeouts(const SerialTimeouts& timeouts) = 0;
  virtual SerialTimeouts timeouts() = 0;

  // Reads one burst under the time-outs. Returns Cancelled as soon as cancel is set,
  // which takes precedence over data that arrived at the same time. Only one thread
  // reads and only one thread writes at a time; settings may change meanwhile.
  virtual ReadResult read(std::span<std::uint8_t> buffer, const WaitEvent& cancel) = 0;
  // Writes bytes; returns when all were written, the write time-out passed (count tells
  // how many left), cancel was set or the write failed.
  virtual WriteResult write(std::span<const std::uint8_t> bytes, const WaitEvent& cancel) = 0;

  // A descriptor that poll finds readable when bytes (or a hang-up) wait, for an owner
  // that waits on the port together with other things and reads with immediate
  // time-outs; -1 where the port has none.
  virtual int pollHandle() const { return -1; }
  // Framing and overrun errors counted so far by the device (an owner counts by the
  // differences); nullopt where the device keeps no counters (pseudo-terminals), so that
  // only the reported line-error bits tell of them.
  struct ErrorCounts {
    std::uint64_t framing = 0;
    std::uint64_t overrun = 0;
  };
  virtual std::optional<ErrorCounts> errorCounts() { return std::nullopt; }
};

enum class SerialOpenStatus {
  Ok,
  OpenFailed,      // missing, held by another opener, no access, bad name
  NotCharDevice,   // opened, but not a character device
};

struct SerialOpenResult {
  SerialOpenStatus status = SerialOpenStatus::OpenFailed;
  std::unique_ptr<SerialPort> port;
  std::string reason;  // why the open failed, in words; empty when it worked
};

// Opens a port by name for exclusive reading and writing. OpenFailed also when the
// machine root cannot be made.
using SerialPortOpener = std::function<SerialOpenResult(std::string_view name)>;

// The device a port name stands for: <root>/dev/<name>. Only on the real machine
// (QUORVANE_HOME not set) does "COMn" fall back to /dev/ttyS<n-1> when its link is
// missing; a private machine never reaches a real port. nullopt for names that could
// reach outside the device folder (empty, ".", "..", or holding '/' or a zero byte).
// Throws std::runtime_error when the machine root cannot be made.
std::optional<std::filesystem::path> serialDevicePath(std::string_view name);

// The system's opener (held exclusively; non-blocking I/O waited on with poll).
SerialOpenResult openSerialPort(std::string_view name);
SerialPortOpener systemSerialPortOpener();

// True when the named port exists, is a terminal and is not held by another opener;
// false when the machine root cannot be made.
bool serialPortPresent(std::string_view name);

// When this user may not open the named port: the group whose members may (the device's
// group, "dialout" for serial ports). Empty when the port is missing or its permissions
// do not stand in the way.
std::string serialPortGroupNeeded(std::string_view name);

}  // namespace qv::platform
