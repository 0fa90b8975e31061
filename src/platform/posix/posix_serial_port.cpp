#include "platform/posix/posix_serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <vector>

namespace qv::platform::posix {

namespace {

using Clock = std::chrono::steady_clock;

struct SpeedEntry {
  std::uint32_t baud;
  speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000},
};

constexpr std::uint32_t kImmediateInterval = 0xFFFFFFFFu;

// Milliseconds until deadline for poll: -1 when there is none, 0 when it has passed.
int msUntil(const std::optional<Clock::time_point>& deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<long long>(left, std::numeric_limits<int>::max()));
}

std::optional<Clock::time_point> totalDeadline(std::uint32_t multiplier, std::uint32_t constant, std::size_t count) {
  if (multiplier == 0 && constant == 0) return std::nullopt;
  const auto ms = static_cast<long long>(multiplier) * static_cast<long long>(count) + constant;
  return Clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

std::optional<speed_t> speedForBaud(std::uint32_t baud) {
  for (const auto& entry : kSpeeds) {
    if (entry.baud == baud) return entry.speed;
  }
  return std::nullopt;
}

std::uint32_t baudForSpeed(speed_t speed) {
  for (const auto& entry : kSpeeds) {
    if (entry.speed == speed) return entry.baud;
  }
  return 0;
}

bool applyLineState(termios& t, const SerialLineState& state) {
  const auto speed = speedForBaud(state.baudRate);
  if (!speed || state.byteSize < 5 || state.byteSize > 8 || state.parity > 4 || state.stopBits > 2) {
    return false;
  }
  termios n = t;
  // Raw bytes both ways: no line editing, echo, signals, translation or output processing.
  n.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR |
                                       ICRNL | IXON | IXOFF | IXANY | INPCK | IMAXBEL | IUCLC);
  n.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  n.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
  n.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  n.c_cflag |= CREAD | CLOCAL;
  // Breaks and, with parity checking, bytes received with errors arrive marked in the
  // stream, so the reader can report them as line errors.
  n.c_iflag |= PARMRK;
  if (state.parityCheck) n.c_iflag |= INPCK;
  if (state.outX) n.c_iflag |= IXON;
  if (state.inX) n.c_iflag |= IXOFF;

  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  n.c_cflag |= kSizes[state.byteSize - 5];
  switch (state.parity) {
    case 1: n.c_cflag |= PARENB | PARODD; break;
    case 2: n.c_cflag |= PARENB; break;
    case 3: n.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: n.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // termios knows one or two stop bits; one and a half is sent as two.
  if (state.stopBits != 0) n.c_cflag |= CSTOPB;
  if (state.outxCtsFlow || state.rts == RtsMode::Handshake) n.c_cflag |= CRTSCTS;

  n.c_cc[VMIN] = 1;
  n.c_cc[VTIME] = 0;
  n.c_cc[VSTART] = static_cast<cc_t>(state.xonChar);
  n.c_cc[VSTOP] = static_cast<cc_t>(state.xoffChar);
  if (::cfsetispeed(&n, *speed) != 0 || ::cfsetospeed(&n, *speed) != 0) return false;
  t = n;
  return true;
}

void readLineState(const termios& t, SerialLineState& state) {
  if (const auto baud = baudForSpeed(::cfgetospeed(&t)); baud != 0) state.baudRate = baud;
  switch (t.c_cflag & CSIZE) {
    case CS5: state.byteSize = 5; break;
    case CS6: state.byteSize = 6; break;
    case CS7: state.byteSize = 7; break;
    default: state.byteSize = 8; break;
  }
  if ((t.c_cflag & PARENB) == 0) {
    state.parity = 0;
  } else if (t.c_cflag & CMSPAR) {
    state.parity = (t.c_cflag & PARODD) ? 3 : 4;
  } else {
    state.parity = (t.c_cflag & PARODD) ? 1 : 2;
  }
  if ((t.c_cflag & CSTOPB) == 0) {
    state.stopBits = 0;
  } else if (state.stopBits == 0) {
    state.stopBits = 2;
  }
  state.parityCheck = (t.c_iflag & INPCK) != 0;
  state.outX = (t.c_iflag & IXON) != 0;
  state.inX = (t.c_iflag & IXOFF) != 0;
  state.xonChar = t.c_cc[VSTART];
  state.xoffChar = t.c_cc[VSTOP];
}

MarkDecoder::Output MarkDecoder::decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                                        const Options& options) {
  Output result;
  // Most bursts hold no mark at all: copy them whole.
  if (state_ == State::Data && held_.empty() && !options.discardNull && !in.empty() && in.size() <= out.size() &&
      std::memchr(in.data(), 0xFF, in.size()) == nullptr) {
    std::memcpy(out.data(), in.data(), in.size());
    result.count = in.size();
    return result;
  }
  std::size_t heldOut = 0;
  while (heldOut < held_.size() && result.count < out.size()) out[result.count++] = held_[heldOut++];
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(heldOut));
  auto emit = [&](std::uint8_t byte) {
    if (options.discardNull && byte == 0) return;
    if (held_.empty() && result.count < out.size()) {
      out[result.count++] = byte;
    } else {
      held_.push_back(byte);
    }
  };
  for (const std::uint8_t byte : in) {
    switch (state_) {
      case State::Data:
        if (byte == 0xFF) {
          state_ = State::SawFF;
        } else {
          emit(byte);
        }
        break;
      case State::SawFF:
        if (byte == 0xFF) {
          emit(0xFF);
          state_ = State::Data;
        } else if (byte == 0x00) {
          state_ = State::SawFF00;
        } else {
          // Not a mark (the port was not marking when these bytes came): keep both.
          emit(0xFF);
          emit(byte);
          state_ = State::Data;
        }
        break;
      case State::SawFF00:
        state_ = State::Data;
        if (byte == 0x00) {
          // A break carries no data byte.
          result.lineErrors |= line_error::Break;
        } else {
          ++result.errorBytes;
          emit(options.replaceErrors ? options.replacement : byte);
        }
        break;
    }
  }
  return result;
}

std::uint32_t lineErrorsOfRead(const MarkDecoder::Output& marks, std::uint32_t counted, bool lineHasParity) {
  std::uint32_t errors = counted | marks.lineErrors;
  if (marks.errorBytes > 0 && (counted & (line_error::Parity | line_error::Frame)) == 0) {
    errors |= lineHasParity ? line_error::Parity : line_error::Frame;
  }
  return errors;
}

PosixSerialPort::PosixSerialPort(int fd) : fd_(fd), settingsChanged_(WaitEvent::create()) {
  serial_icounter_struct counts{};
  errorCountsAvailable_ = ::ioctl(fd_, TIOCGICOUNT, &counts) == 0;
  if (errorCountsAvailable_) {
    takeCountedEvents(lastCounts_[0], lastCounts_[1]);
    lineWatch_.emplace(LineChangeWatch::modemLines(fd_));
  }
  // Keep what termios cannot hold at the values of a fresh device control block.
  kept_ = SerialLineState{};
  termios t{};
  if (::tcgetattr(fd_, &t) == 0) readLineState(t, kept_);
}

PosixSerialPort::~PosixSerialPort() {
  lineWatch_.reset();  // its thread waits on the descriptor
  // Give the exclusive hold back before closing: a pseudo-terminal keeps the flag for
  // the next opener otherwise.
  ::ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
}

void PosixSerialPort::takeCountedEvents(std::uint32_t& lineErrors, std::uint32_t& modemEvents) {
  lineErrors = 0;
  modemEvents = 0;
  serial_icounter_struct c{};
  if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) return;
  const std::uint32_t now[6] = {static_cast<std::uint32_t>(c.frame),
                                static_cast<std::uint32_t>(c.overrun + c.buf_overrun),
                                static_cast<std::uint32_t>(c.parity),
                                static_cast<std::uint32_t>(c.brk),
                                static_cast<std::uint32_t>(c.rng),
                                static_cast<std::uint32_t>(c.dcd)};
  if (now[0] != lastCounts_[0]) lineErrors |= line_error::Frame;
  if (now[1] != lastCounts_[1]) lineErrors |= line_error::Overrun;
  if (now[2] != lastCounts_[2]) lineErrors |= line_error::Parity;
  if (now[3] != lastCounts_[3]) lineErrors |= line_error::Break;
  if (now[4] != lastCounts_[4]) modemEvents |= modem_event::Ring;
  if (now[5] != lastCounts_[5]) modemEvents |= modem_event::CarrierDetect;
  std::copy(std::begin(now), std::end(now), std::begin(lastCounts_));
}

std::optional<SerialPort::ErrorCounts> PosixSerialPort::errorCounts() {
  if (!errorCountsAvailable_) return std::nullopt;
  serial_icounter_struct c{};
  if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) return std::nullopt;
  ErrorCounts counts;
  counts.framing = static_cast<std::uint32_t>(c.frame);
  counts.overrun = std::uint64_t{static_cast<std::uint32_t>(c.overrun)} + static_cast<std::uint32_t>(c.buf_overrun);
  return counts;
}

bool PosixSerialPort::setupQueues(std::size_t, std::size_t) {
  // The terminal driver sizes its own queues; only a terminal can take them.
  termios t{};
  return ::tcgetattr(fd_, &t) == 0;
}

void PosixSerialPort::purge(bool receive, bool transmit) {
  if (receive && transmit) {
    ::tcflush(fd_, TCIOFLUSH);
  } else if (receive) {
    ::tcflush(fd_, TCIFLUSH);
  } else if (transmit) {
    ::tcflush(fd_, TCOFLUSH);
  }
  if (receive) {
    std::lock_guard lock(settingsMutex_);
    decoder_.clear();
  }
}

std::optional<SerialLineState> PosixSerialPort::lineState() {
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return std::nullopt;
  std::lock_guard lock(settingsMutex_);
  SerialLineState state = kept_;
  readLineState(t, state);
  return state;
}

bool PosixSerialPort::setLineState(const SerialLineState& state) {
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return false;
  if (!applyLineState(t, state)) return false;
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  // Modem control lines; pseudo-terminals have none, so failures are not errors.
  int dtr = TIOCM_DTR;
  ::ioctl(fd_, state.dtr == DtrMode::Off ? TIOCMBIC : TIOCMBIS, &dtr);
  if (state.rts != RtsMode::Handshake) {
    int rts = TIOCM_RTS;
    ::ioctl(fd_, state.rts == RtsMode::Off ? TIOCMBIC : TIOCMBIS, &rts);
  }
  {
    std::lock_guard lock(settingsMutex_);
    kept_ = state;
  }
  settingsChanged();
  return true;
}

bool PosixSerialPort::setTimeouts(const SerialTimeouts& timeouts) {
  {
    std::lock_guard lock(settingsMutex_);
    timeouts_ = timeouts;
  }
  settingsChanged();
  return true;
}

SerialTimeouts PosixSerialPort::timeouts() {
  std::lock_guard lock(settingsMutex_);
  return timeouts_;
}

PosixSerialPort::ReadSettings PosixSerialPort::readSettings() {
  std::lock_guard lock(settingsMutex_);
  ReadSettings settings;
  settings.timeouts = timeouts_;
  settings.decoding.replaceErrors = kept_.replaceErrorChar;
  settings.decoding.replacement = kept_.errorChar;
  settings.decoding.discardNull = kept_.discardNull;
  settings.lineHasParity = kept_.parity != 0;
  return settings;
}

void PosixSerialPort::settingsChanged() {
  if (settingsChanged_) settingsChanged_->set();
}

ReadResult PosixSerialPort::read(std::span<std::uint8_t> buffer, const WaitEvent& cancel) {
  // Settings changed from here on wake the wait for the burst's first byte and shape that
  // burst; a burst under way keeps the settings it began with. Reset before reading them,
  // so that no change is missed.
  if (settingsChanged_) settingsChanged_->reset();
  ReadSettings settings = readSettings();
  bool immediate = false;
  bool useInterval = false;
  std::optional<Clock::time_point> deadline;
  auto adopt = [&] {
    const SerialTimeouts& limits = settings.timeouts;
    immediate = limits.readInterval == kImmediateInterval && limits.readTotalMultiplier == 0 &&
                limits.readTotalConstant == 0;
    deadline = totalDeadline(limits.readTotalMultiplier, limits.readTotalConstant, buffer.size());
    useInterval = limits.readInterval != 0 && !immediate;
  };
  adopt();

  ReadResult result;
  result.status = IoStatus::Ok;
  if (raw_.size() < buffer.size()) raw_.resize(buffer.size());
  std::size_t got = 0;
  MarkDecoder::Output marks;  // what the marks of this read said
  bool tryReadFirst = false;  // right after bytes came, more are likely waiting
  std::uint32_t counted = 0;  // line errors the device counted during this read
  auto takeCounts = [&] {
    if (!errorCountsAvailable_) return;
    std::uint32_t errors = 0, modem = 0;
    takeCountedEvents(errors, modem);
    counted |= errors;
    result.modemEvents |= modem;
  };
  // A failure after bytes came in still hands those bytes over; the next read reports it.
  auto finish = [&](IoStatus status) {
    result.status = got > 0 && status != IoStatus::Cancelled ? IoStatus::Ok : status;
    result.count = got;
    takeCounts();
    result.lineErrors = lineErrorsOfRead(marks, counted, settings.lineHasParity);
    return result;
  };
  const WaitEvent* lineChanged = lineWatch_ ? lineWatch_->changed() : nullptr;

  // The burst ends when the line has been quiet for the interval since its last byte;
  // other wake-ups (a modem line, a signal) do not put that moment off.
  std::optional<Clock::time_point> quietEnd;
  auto takeDecoded = [&](std::size_t n) {
    MarkDecoder::Output decoded;
    {
      // purge() may clear the decoder from the owning thread.
      std::lock_guard lock(settingsMutex_);
      decoded = decoder_.decode(std::span(raw_.data(), n), buffer.subspan(got), settings.decoding);
    }
    got += decoded.count;
    if (useInterval && (n > 0 || decoded.count > 0)) {
      quietEnd = Clock::now() + std::chrono::milliseconds(settings.timeouts.readInterval);
    }
    marks.lineErrors |= decoded.lineErrors;
    marks.errorBytes += decoded.errorBytes;
  };

  // Bytes decoded in the last read that found no room there come first.
  takeDecoded(0);
  while (got < buffer.size()) {
    if (tryReadFirst) {
      tryReadFirst = false;
      const ssize_t n = ::read(fd_, raw_.data(), buffer.size() - got);
      if (n > 0) {
        takeDecoded(static_cast<std::size_t>(n));
        tryReadFirst = true;
        continue;
      }
    }
    int timeout = msUntil(deadline);
    if (immediate) {
      timeout = 0;
    } else if (got > 0 && quietEnd) {
      const int quiet = msUntil(quietEnd);
      timeout = timeout < 0 ? quiet : std::min(timeout, quiet);
    }
    // Negative descriptors are not watched: settings only until the burst's first byte.
    const bool watchSettings = got == 0 && settingsChanged_;
    pollfd fds[4] = {{cancel.nativeHandle(), POLLIN, 0},
                     {fd_, POLLIN, 0},
                     {watchSettings ? settingsChanged_->nativeHandle() : -1, POLLIN, 0},
                     {lineChanged ? lineChanged->nativeHandle() : -1, POLLIN, 0}};
    const int ready = ::poll(fds, 4, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return finish(IoStatus::Failed);
    }
    if (fds[0].revents & POLLIN) return finish(IoStatus::Cancelled);
    if (ready == 0) break;  // quiet for the interval, or the total time-out passed
    if (fds[1].revents & POLLNVAL) return finish(IoStatus::InvalidHandle);
    if (fds[3].revents & POLLIN) {
      // A modem line changed. On a quiet line it is reported at once; during a burst, with
      // the burst.
      lineChanged->reset();
      if (got == 0) {
        takeCounts();
        if (result.modemEvents != 0 || counted != 0) return finish(IoStatus::Ok);
      }
      continue;
    }
    if (watchSettings && (fds[2].revents & POLLIN)) {
      // Nothing of the burst has come yet: it is read under the new settings, its total
      // time-out counted from now.
      settingsChanged_->reset();
      settings = readSettings();
      adopt();
      continue;
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;

    const ssize_t n = ::read(fd_, raw_.data(), buffer.size() - got);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return finish(errno == EBADF ? IoStatus::InvalidHandle : IoStatus::Failed);
    }
    if (n == 0) return finish(IoStatus::Failed);  // the other end hung up
    takeDecoded(static_cast<std::size_t>(n));
    // An error or break alone is worth reporting at once, without waiting for data.
    if (got == 0 && (marks.lineErrors != 0 || marks.errorBytes != 0)) break;
    tryReadFirst = true;
  }
  return finish(IoStatus::Ok);
}

WriteResult PosixSerialPort::write(std::span<const std::uint8_t> bytes, const WaitEvent& cancel) {
  SerialTimeouts limits = timeouts();
  const auto deadline = totalDeadline(limits.writeTotalMultiplier, limits.writeTotalConstant, bytes.size());
  WriteResult result;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      result.status = errno == EBADF ? IoStatus::InvalidHandle : IoStatus::Failed;
      result.count = done;
      return result;
    }
    if (n < 0 && errno == EINTR) continue;
    // The transmit queue is full: wait for room, the close event or the time-out.
    pollfd fds[2] = {{cancel.nativeHandle(), POLLIN, 0}, {fd_, POLLOUT, 0}};
    const int ready = ::poll(fds, 2, msUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      result.status = IoStatus::Failed;
      result.count = done;
      return result;
    }
    if (fds[0].revents & POLLIN) {
      result.status = IoStatus::Cancelled;
      result.count = done;
      return result;
    }
    if (ready == 0) break;  // write time-out: report how much left
    if (fds[1].revents & POLLNVAL) {
      result.status = IoStatus::InvalidHandle;
      result.count = done;
      return result;
    }
    if ((fds[1].revents & POLLOUT) == 0 && (fds[1].revents & (POLLHUP | POLLERR))) {
      result.status = IoStatus::Failed;
      result.count = done;
      return result;
    }
  }
  result.status = IoStatus::Ok;
  result.count = done;
  return result;
}

}  // namespace qv::platform::posix
