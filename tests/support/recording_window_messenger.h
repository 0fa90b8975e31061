#pragma once
// A WindowMessenger for tests: the test says which windows exist, and every message
// handed to an existing window is recorded in order with the window's class and title.
#include "platform/window_messages.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::test {

class RecordingWindowMessenger final : public platform::WindowMessenger {
public:
  enum class Kind { Posted, Sent };
  struct Record {
    Kind kind = Kind::Posted;
    std::string className;
    std::string title;
    platform::WindowMessage message;
  };
  // Called for every delivered message, after it was recorded (e.g. to let a window
  // close itself on a stop message). Runs on the caller's thread, without the lock held.
  using Reaction = std::function<void(const Record&)>;

  void addWindow(std::string className, std::string title);
  void removeWindow(std::string_view className, std::string_view title);
  // What send() returns for an existing window (default 0); nullopt makes it break off.
  void setReply(std::optional<std::uint32_t> reply);
  void setReaction(Reaction reaction);

  std::vector<Record> records() const;
  // The messages of one kind only, in order.
  std::vector<Record> posted() const;
  std::vector<Record> sent() const;
  // Every (class, title) looked up by windowExists, post or send, in order.
  std::vector<std::pair<std::string, std::string>> lookups() const;
  void clear();

  bool windowExists(std::string_view className, std::string_view title) override;
  bool post(std::string_view className, std::string_view title, platform::WindowMessage msg) override;
  std::optional<std::uint32_t> send(std::string_view className, std::string_view title,
                                    platform::WindowMessage msg) override;

private:
  bool existsLocked(std::string_view className, std::string_view title) const;
  std::vector<Record> ofKind(Kind kind) const;

  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> windows_;
  std::vector<std::pair<std::string, std::string>> lookups_;
  std::vector<Record> records_;
  std::optional<std::uint32_t> reply_ = 0;
  Reaction reaction_;
};

}  // namespace qv::test
