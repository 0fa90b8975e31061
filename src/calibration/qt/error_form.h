#pragma once
// TErrorForm: the initial-error window. It tells the user that the driver did not
// initialise and closes by its OK button or by itself after 5 seconds. Created for each
// use and destroyed after it closed.
#include "calibration/single_shot_timer.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;

namespace qv::calibration {

inline constexpr int kErrorFormCloseMs = 5000;

class TErrorForm final : public QDialog {
public:
  // timer: Timer1; a Qt timer when none is given. It starts here.
  explicit TErrorForm(QWidget* parent = nullptr, std::unique_ptr<SingleShotTimer> timer = nullptr);
  ~TErrorForm() override;

  void Timer1Timer();
  SingleShotTimer& timer() { return *Timer1_; }

private:
  std::unique_ptr<SingleShotTimer> Timer1_;
  QLabel* Label1_ = nullptr;
  QPushButton* BitBtn1_ = nullptr;
};

}  // namespace qv::calibration
