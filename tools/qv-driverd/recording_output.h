#pragma once
// A pointer output that keeps what it was given, in place of the uinput device where
// there is none to make (tests, benchmarks).
#include "pointer_output.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::driverd {

struct PointerEvent {
  enum class Kind { Down, Move, Up };
  Kind kind = Kind::Down;
  int x = 0;  // for Down and Move
  int y = 0;
  bool operator==(const PointerEvent&) const = default;
};

class RecordingOutput final : public PointerOutput {
public:
  // Called with each event as it is handed over (after it was recorded).
  std::function<void(const PointerEvent&)> onEvent;

  void penDown(int x, int y) override { take({PointerEvent::Kind::Down, x, y}); }
  void move(int x, int y) override { take({PointerEvent::Kind::Move, x, y}); }
  void penUp() override { take({PointerEvent::Kind::Up, 0, 0}); }
  std::optional<std::string> remake(int unitsPerMmX, int unitsPerMmY) override {
    remade.emplace_back(unitsPerMmX, unitsPerMmY);
    return std::nullopt;
  }
  std::vector<std::pair<int, int>> remade;  // the resolutions of each remake

  const std::vector<PointerEvent>& events() const { return events_; }

private:
  void take(const PointerEvent& e) {
    events_.push_back(e);
    if (onEvent) onEvent(e);
  }
  std::vector<PointerEvent> events_;
};

}  // namespace qv::driverd
