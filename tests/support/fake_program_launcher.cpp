#include "support/fake_program_launcher.h"

namespace qv::test {

void FakeProgramLauncher::setStartResult(std::uint32_t result) {
  std::lock_guard lock(mutex_);
  startResult_ = result;
}

void FakeProgramLauncher::setRestartResult(bool result) {
  std::lock_guard lock(mutex_);
  restartResult_ = result;
}

void FakeProgramLauncher::setStartReaction(StartReaction reaction) {
  std::lock_guard lock(mutex_);
  reaction_ = std::move(reaction);
}

std::vector<std::string> FakeProgramLauncher::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

int FakeProgramLauncher::restartRequests() const {
  std::lock_guard lock(mutex_);
  return restarts_;
}

void FakeProgramLauncher::clear() {
  std::lock_guard lock(mutex_);
  commands_.clear();
  restarts_ = 0;
}

std::uint32_t FakeProgramLauncher::startProgram(std::string_view command) {
  std::string text(command);
  StartReaction reaction;
  std::uint32_t result;
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(text);
    reaction = reaction_;
    result = startResult_;
  }
  if (reaction) reaction(text);
  return result;
}

platform::WatchedStart FakeProgramLauncher::startWatchedProgram(std::string_view command) {
  struct Program final : platform::WatchedProgram {
    explicit Program(FakeProgramLauncher& l) : launcher(l) {}
    std::optional<std::string> endReason() override { return launcher.watchedEnd; }
    void stop() override { ++launcher.watchedStops; }
    FakeProgramLauncher& launcher;
  };
  const std::uint32_t result = startProgram(command);
  return {result, result > 31 ? std::make_unique<Program>(*this) : nullptr};
}

bool FakeProgramLauncher::requestRestart() {
  std::lock_guard lock(mutex_);
  ++restarts_;
  return restartResult_;
}

}  // namespace qv::test
