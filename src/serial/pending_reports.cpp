#include "serial/pending_reports.h"

namespace qv::serial {

bool PendingReports::admit(std::size_t blockBytes, bool alwaysFits) {
  std::lock_guard lock(mutex_);
  if (!alwaysFits && (reports_ >= ReportLimit || bytes_ + blockBytes > ByteLimit)) return false;
  ++reports_;
  bytes_ += blockBytes;
  return true;
}

void PendingReports::release(std::size_t blockBytes) {
  std::lock_guard lock(mutex_);
  if (reports_ > 0) --reports_;
  bytes_ = bytes_ >= blockBytes ? bytes_ - blockBytes : 0;
}

std::size_t PendingReports::reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

std::size_t PendingReports::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace qv::serial
