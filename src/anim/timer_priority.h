#pragma once
// Thread priorities of the timer thread and their mapping onto the system's scheduler.
#include <cstdint>

namespace qv::anim {

enum class TThreadPriority : std::uint8_t {
  tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical
};

// Niceness offset from the process's own for a priority (negative = more urgent).
int niceOffset(TThreadPriority priority);

// Applies the priority to the calling thread as far as the system allows: raising urgency
// above the process's own usually needs privileges and then silently stays where it is.
// Returns whether the system accepted it.
bool applyToCurrentThread(TThreadPriority priority);

}  // namespace qv::anim
