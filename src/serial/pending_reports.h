#pragma once
// What the reader and writer have posted to the owning thread and it has not yet handled.
// Like the platform's posted-message queue, it takes only so much: a report that does not
// fit is refused, and the thread treats that as a failed post (and hangs up). So an owner
// slower than a flooding line holds a bounded backlog instead of an ever-growing one.
#include <cstddef>
#include <mutex>

namespace qv::serial {

class PendingReports {
public:
  // Reports of any kind, and bytes of received blocks, that may wait at once.
  static constexpr std::size_t ReportLimit = 10000;
  static constexpr std::size_t ByteLimit = 1024 * 1024;

  // Counts a report of blockBytes in; false when it does not fit. A hang-up always fits:
  // the thread that posts it ends, so each thread goes beyond the limits at most once.
  bool admit(std::size_t blockBytes, bool alwaysFits = false);
  // Counts a report out once it has been handled (or could not be posted after all).
  void release(std::size_t blockBytes);

  std::size_t reports() const;
  std::size_t bytes() const;

private:
  mutable std::mutex mutex_;
  std::size_t reports_ = 0;
  std::size_t bytes_ = 0;
};

}  // namespace qv::serial
