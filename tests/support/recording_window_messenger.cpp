#include "support/recording_window_messenger.h"

#include <algorithm>

namespace qv::test {

void RecordingWindowMessenger::addWindow(std::string className, std::string title) {
  std::lock_guard lock(mutex_);
  if (!existsLocked(className, title)) windows_.emplace_back(std::move(className), std::move(title));
}

void RecordingWindowMessenger::removeWindow(std::string_view className, std::string_view title) {
  std::lock_guard lock(mutex_);
  std::erase_if(windows_, [&](const auto& w) { return w.first == className && w.second == title; });
}

void RecordingWindowMessenger::setReply(std::optional<std::uint32_t> reply) {
  std::lock_guard lock(mutex_);
  reply_ = reply;
}

void RecordingWindowMessenger::setReaction(Reaction reaction) {
  std::lock_guard lock(mutex_);
  reaction_ = std::move(reaction);
}

std::vector<RecordingWindowMessenger::Record> RecordingWindowMessenger::records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

std::vector<RecordingWindowMessenger::Record> RecordingWindowMessenger::ofKind(Kind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<Record> out;
  std::copy_if(records_.begin(), records_.end(), std::back_inserter(out),
               [kind](const Record& r) { return r.kind == kind; });
  return out;
}

std::vector<RecordingWindowMessenger::Record> RecordingWindowMessenger::posted() const {
  return ofKind(Kind::Posted);
}

std::vector<RecordingWindowMessenger::Record> RecordingWindowMessenger::sent() const {
  return ofKind(Kind::Sent);
}

std::vector<std::pair<std::string, std::string>> RecordingWindowMessenger::lookups() const {
  std::lock_guard lock(mutex_);
  return lookups_;
}

void RecordingWindowMessenger::clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
  lookups_.clear();
}

bool RecordingWindowMessenger::existsLocked(std::string_view className, std::string_view title) const {
  return std::any_of(windows_.begin(), windows_.end(),
                     [&](const auto& w) { return w.first == className && w.second == title; });
}

bool RecordingWindowMessenger::windowExists(std::string_view className, std::string_view title) {
  std::lock_guard lock(mutex_);
  lookups_.emplace_back(className, title);
  return existsLocked(className, title);
}

bool RecordingWindowMessenger::post(std::string_view className, std::string_view title,
                                    platform::WindowMessage msg) {
  Record record{Kind::Posted, std::string(className), std::string(title), msg};
  Reaction reaction;
  {
    std::lock_guard lock(mutex_);
    lookups_.emplace_back(className, title);
    if (!existsLocked(className, title)) return false;
    records_.push_back(record);
    reaction = reaction_;
  }
  if (reaction) reaction(record);
  return true;
}

std::optional<std::uint32_t> RecordingWindowMessenger::send(std::string_view className,
                                                            std::string_view title,
                                                            platform::WindowMessage msg) {
  Record record{Kind::Sent, std::string(className), std::string(title), msg};
  Reaction reaction;
  std::optional<std::uint32_t> reply;
  {
    std::lock_guard lock(mutex_);
    lookups_.emplace_back(className, title);
    if (!existsLocked(className, title)) return std::nullopt;
    records_.push_back(record);
    reaction = reaction_;
    reply = reply_;
  }
  if (reaction) reaction(record);
  return reply;
}

}  // namespace qv::test
