#pragma once
// A pseudo-terminal standing in for a serial line: the slave is linked as
// <QUORVANE_HOME>/dev/<name>; the test plays the far end on the master.
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

class PtyPair {
public:
  explicit PtyPair(const std::string& name = "COM5");
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  void send(const std::vector<std::uint8_t>& bytes) const;
  // Reads from the master until count bytes came or timeout passed.
  std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds timeout) const;
  // The line settings the port's user set (master and slave share them).
  termios lineSettings() const;
  void setLineSettings(const termios& t) const;
  speed_t speed() const;
  void closeMaster();

private:
  int master_ = -1;
  int slave_ = -1;  // held so the line stays up when the port's user closes it
  std::string link_;
};

// Descriptors and threads of this process, to show that nothing is left behind.
int openDescriptorCount();
int threadCount();

}  // namespace qv::test
