// Port naming, the presence test, the termios mapping and the unmarking of received bytes.
#include "platform/manual_event_loop.h"
#include "platform/posix/posix_serial_port.h"
#include "platform/serial_port.h"
#include "pty_pair.h"
#include "serial/comm.h"
#include "serial/comm_types.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include <poll.h>
#include <unistd.h>

namespace qv::platform {
namespace {

// Sets an environment variable, or removes it (nullptr), until the object goes.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { previous_ ? ::setenv(name_, previous_->c_str(), 1) : ::unsetenv(name_); }

private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(SerialPortNames, OnlyTheRealMachineFallsBackToSystemPorts) {
  test::PrivateRoot dir;
  // The real machine: its port links are the machine's, never in the user's folder (kept
  // inside the private directory here). Only paths are looked at, nothing is opened.
  ScopedEnv xdg("XDG_DATA_HOME", dir.path().c_str());
  ScopedEnv home("QUORVANE_HOME", nullptr);
  EXPECT_EQ(serialDevicePath("COM1"), std::filesystem::path("/dev/ttyS0"));
  EXPECT_EQ(serialDevicePath("COM12"), std::filesystem::path("/dev/ttyS11"));
  EXPECT_EQ(serialDevicePath("PORTA"), std::filesystem::path("/var/lib/quorvane/dev/PORTA"));
}

TEST(SerialPortNames, APrivateRootNeverReachesARealPort) {
  test::PrivateRoot root;
  const auto dev = root.path() / "dev";
  for (const char* name : {"COM1", "COM2", "COM12"}) {
    EXPECT_EQ(serialDevicePath(name), dev / name);
    EXPECT_FALSE(serialPortPresent(name)) << name;
    EXPECT_EQ(openSerialPort(name).status, SerialOpenStatus::OpenFailed) << name;
  }
  {
    test::PtyPair line("COM1");  // a simulator's link, removed again when it ends
    EXPECT_TRUE(serialPortPresent("COM1"));
  }
  EXPECT_EQ(serialDevicePath("COM1"), dev / "COM1");
  EXPECT_FALSE(serialPortPresent("COM1"));
  EXPECT_EQ(openSerialPort("COM1").status, SerialOpenStatus::OpenFailed);
}

TEST(SerialPortNames, ARootThatCannotBeMadeIsAPortThatCannotBeOpened) {
  test::PrivateRoot dir;
  std::ofstream(dir.path() / "file") << "x";
  const auto unmakeable = dir.path() / "file" / "root";
  ScopedEnv home("QUORVANE_HOME", unmakeable.c_str());
  EXPECT_FALSE(serialPortPresent("COM1"));
  EXPECT_EQ(openSerialPort("COM1").status, SerialOpenStatus::OpenFailed);

  ManualEventLoop loop;
  serial::TComm comm(loop);
  comm.setCommName("COM1");
  try {
    comm.OpenPort();
    FAIL() << "opened";
  } catch (const serial::ECommsError& e) {
    EXPECT_STREQ(e.what(), "Error opening serial port");
  }
  EXPECT_FALSE(comm.isOpen());
}

TEST(SerialPortNames, NamesStayInTheDeviceFolder) {
  test::PrivateRoot root;
  const auto dev = root.path() / "dev";
  EXPECT_EQ(serialDevicePath("COM0"), dev / "COM0");
  EXPECT_EQ(serialDevicePath("com1"), dev / "com1");  // names compare exactly
  EXPECT_EQ(serialDevicePath("PORTA"), dev / "PORTA");
  test::PtyPair line("COM3");
  EXPECT_EQ(serialDevicePath("COM3"), dev / "COM3");
  for (const char* bad : {"", ".", "..", "../registry.reg", "/dev/ttyS0", "a/b"}) {
    EXPECT_FALSE(serialDevicePath(bad).has_value()) << bad;
  }
}

TEST(SerialPortNames, PresenceNeedsAFreeTerminal) {
  test::PrivateRoot root;
  test::PtyPair line("COM3");
  std::ofstream(root.path() / "dev" / "FILE") << "x";
  EXPECT_TRUE(serialPortPresent("COM3"));
  EXPECT_FALSE(serialPortPresent("FILE"));
  EXPECT_FALSE(serialPortPresent("COM9X"));
  auto opened = openSerialPort("COM3");
  ASSERT_EQ(opened.status, SerialOpenStatus::Ok);
  EXPECT_FALSE(serialPortPresent("COM3"));
  EXPECT_EQ(openSerialPort("COM3").status, SerialOpenStatus::OpenFailed);
  opened.port.reset();
  EXPECT_TRUE(serialPortPresent("COM3"));
}

TEST(TermiosMapping, EveryFrameShapeAndRefusals) {
  termios t{};
  SerialLineState s;
  s.baudRate = 1200;
  s.byteSize = 5;
  s.parity = 3;  // mark
  s.stopBits = 1;
  s.outX = true;
  s.inX = false;
  s.rts = RtsMode::Handshake;
  s.xonChar = 0x21;
  s.xoffChar = 0x23;
  ASSERT_TRUE(posix::applyLineState(t, s));
  EXPECT_EQ(cfgetospeed(&t), B1200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS5));
  EXPECT_EQ(t.c_cflag & (PARENB | CMSPAR | PARODD), static_cast<tcflag_t>(PARENB | CMSPAR | PARODD));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_NE(t.c_iflag & IXON, 0u);
  EXPECT_EQ(t.c_iflag & IXOFF, 0u);
  EXPECT_EQ(t.c_cc[VSTART], 0x21);
  EXPECT_EQ(t.c_cc[VSTOP], 0x23);

  SerialLineState back;
  back.stopBits = 1;  // one and a half is kept as such when termios shows two
  posix::readLineState(t, back);
  EXPECT_EQ(back.baudRate, 1200u);
  EXPECT_EQ(back.byteSize, 5);
  EXPECT_EQ(back.parity, 3);
  EXPECT_EQ(back.stopBits, 1);

  s.parity = 4;  // space
  ASSERT_TRUE(posix::applyLineState(t, s));
  EXPECT_EQ(t.c_cflag & (PARENB | CMSPAR | PARODD), static_cast<tcflag_t>(PARENB | CMSPAR));

  const termios before = t;
  for (std::uint32_t refused : {0u, 12345u}) {
    s.baudRate = refused;
    EXPECT_FALSE(posix::applyLineState(t, s));
    EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
  }
}

TEST(TermiosMapping, ComponentSettingsBecomeTheDeviceControlBlock) {
  serial::CommSettings settings;
  settings.ByteSize = serial::TByteSize::_6;
  settings.Parity = serial::TParity::Space;
  settings.StopBits = serial::TStopBits::_2;
  settings.DtrControl = serial::TDtrControl::DtrDisable;
  settings.RtsControl = serial::TRtsControl::RtsTransmissionAvailable;
  settings.BaudRate = -5;
  settings.ReadIntervalTimeout = -1;
  SerialLineState current;
  current.eofChar = 0x1A;
  current.evtChar = 0x7E;
  current.discardNull = true;
  const auto state = serial::buildLineState(settings, current);
  EXPECT_EQ(state.byteSize, 6);
  EXPECT_EQ(state.parity, 4);
  EXPECT_EQ(state.stopBits, 2);
  EXPECT_EQ(state.dtr, DtrMode::Off);
  EXPECT_EQ(state.rts, RtsMode::Toggle);
  EXPECT_EQ(state.baudRate, 0u);          // refused by the port as a whole
  EXPECT_FALSE(state.discardNull);        // the flag word is rebuilt, not merged
  EXPECT_EQ(state.eofChar, 0x1A);
  EXPECT_EQ(state.evtChar, 0x7E);
  EXPECT_EQ(state.xonLimit, 500);
  EXPECT_EQ(serial::buildTimeouts(settings).readInterval, 0xFFFFFFFFu);
}

TEST(MarkDecoder, UnmarksDoubledBytesErrorsAndBreaksAcrossReads) {
  posix::MarkDecoder decoder;
  std::uint8_t out[16];
  posix::MarkDecoder::Options options;

  const std::uint8_t plain[] = {0x41, 0xFF, 0xFF, 0x42};
  auto r = decoder.decode(plain, out, options);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + r.count), (std::vector<std::uint8_t>{0x41, 0xFF, 0x42}));
  EXPECT_EQ(r.lineErrors, 0u);

  // A parity mark split over two reads, then a break.
  const std::uint8_t first[] = {0x01, 0xFF};
  const std::uint8_t second[] = {0x00, 0x37, 0xFF, 0x00, 0x00, 0x02};
  options.replaceErrors = true;
  options.replacement = 0x3F;
  r = decoder.decode(first, out, options);
  EXPECT_EQ(r.count, 1u);
  r = decoder.decode(second, out, options);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + r.count), (std::vector<std::uint8_t>{0x3F, 0x02}));
  EXPECT_EQ(r.lineErrors, line_error::Break);
  EXPECT_EQ(r.errorBytes, 1u);

  options = {};
  options.discardNull = true;
  const std::uint8_t nulls[] = {0x00, 0x05, 0x00, 0xFF, 0x00, 0x00};
  r = decoder.decode(nulls, out, options);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + r.count), (std::vector<std::uint8_t>{0x05}));
}

TEST(MarkDecoder, AByteWithoutRoomWaitsForTheNextCall) {
  // A 0xFF ending one burst that is no mark comes out with the next burst's byte: two bytes
  // for one. The second waits for room instead of landing past the buffer.
  posix::MarkDecoder decoder;
  const std::uint8_t ff[] = {0xFF}, a[] = {0x41};
  std::uint8_t out[1];
  EXPECT_EQ(decoder.decode(ff, out, {}).count, 0u);
  EXPECT_EQ(decoder.decode(a, out, {}).count, 1u);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(decoder.decode({}, out, {}).count, 1u);
  EXPECT_EQ(out[0], 0x41);
}

TEST(MarkDecoder, AMarkedErrorIsReportedAsTheKindTheDeviceCounted) {
  posix::MarkDecoder::Output marked;
  marked.errorBytes = 1;
  using namespace line_error;
  // Counted by the device: its counters name the kind, each as its own bit.
  EXPECT_EQ(posix::lineErrorsOfRead(marked, Frame, true), Frame);
  EXPECT_EQ(posix::lineErrorsOfRead(marked, Parity, false), Parity);
  EXPECT_EQ(posix::lineErrorsOfRead(marked, Parity | Frame, true), 0x0Cu);
  EXPECT_EQ(posix::lineErrorsOfRead(marked, Frame | Overrun, false), Frame | Overrun);
  // Not counted: without a parity bit on the line only a framing error is possible.
  EXPECT_EQ(posix::lineErrorsOfRead(marked, 0, false), Frame);
  EXPECT_EQ(posix::lineErrorsOfRead(marked, 0, true), Parity);
  posix::MarkDecoder::Output breakOnly;
  breakOnly.lineErrors = Break;
  EXPECT_EQ(posix::lineErrorsOfRead(breakOnly, 0, true), Break);
  EXPECT_EQ(posix::lineErrorsOfRead({}, 0, true), 0u);
}

TEST(LineChangeWatch, EachChangeWakesItsPollerAndClosingEndsAWaitUnderWay) {
  // A pipe stands in for the device's wait: each byte is a line change, and with none the
  // wait blocks as on a quiet line.
  int changes[2];
  ASSERT_EQ(::pipe(changes), 0);
  std::atomic<int> waits = 0;
  {
    posix::LineChangeWatch watch([&] {
      ++waits;
      char c;
      return ::read(changes[0], &c, 1) == 1 ? 0 : -1;
    });
    ASSERT_NE(watch.changed(), nullptr);
    ASSERT_EQ(::write(changes[1], "x", 1), 1);
    const std::array<const WaitEvent*, 1> woken{watch.changed()};
    EXPECT_EQ(waitForAny(woken), 0);
    EXPECT_TRUE(test::waitFor([&] { return waits == 2; }));  // waiting again, until closed
  }
  ::close(changes[0]);
  ::close(changes[1]);

  // A device that cannot be waited on (a pseudo-terminal) is asked once and reports no
  // change: its event, read through a copy of its handle once the thread has ended, stays unset.
  std::atomic<int> failedWaits = 0;
  int event = -1;
  {
    posix::LineChangeWatch none([&] {
      ++failedWaits;
      errno = ENOTTY;
      return -1;
    });
    ASSERT_NE(none.changed(), nullptr);
    event = ::dup(none.changed()->nativeHandle());
    ASSERT_TRUE(test::waitFor([&] { return failedWaits > 0; }));
  }
  pollfd set{event, POLLIN, 0};
  EXPECT_EQ(::poll(&set, 1, 0), 0);
  EXPECT_EQ(failedWaits, 1);
  ::close(event);
}

}  // namespace
}  // namespace qv::platform
