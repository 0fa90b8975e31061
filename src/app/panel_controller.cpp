#include "app/panel_controller.h"

#include "app/setting_tab.h"

namespace qv::app {

PanelController::PanelController(PanelServices services, RepeatTimer& timer) : services_(services), timer_(timer) {
  timer_.setInterval(kArrowFirstDelayMs);
  timer_.stop();
  timer_.setHandler([this] { Timer1Timer(); });
}

bool PanelController::btnOkClick() { return applySettings(model_, services_) == OkOutcome::Completed; }

bool PanelController::btnCancelClick() {
  cancelSettings(model_, services_);
  return true;
}

void PanelController::ComboBox1Change() { applyComboSelection(model_.controls, model_.runtime.portList); }

void PanelController::cbUserDefineClick() { applyUserDefineRule(model_.controls); }

void PanelController::cbSoundClick() { applySoundRule(model_.controls); }

void PanelController::cbCursorOffsetClick() { applyCursorOffsetRule(model_.controls); }

void PanelController::arrowMouseDown(Arrow arrow) {
  if (stepArrow(model_.controls, model_.runtime, arrow)) timer_.start();
}

void PanelController::btnUpMouseUp() {
  timer_.stop();
  timer_.setInterval(kArrowFirstDelayMs);
}

void PanelController::Timer1Timer() {
  stepArrow(model_.controls, model_.runtime, model_.runtime.arrowDirection);
  timer_.setInterval(kArrowRepeatMs);
}

void PanelController::TrackBar1Change() { applySpeedBar(services_.system, model_.controls.speedPosition); }

void PanelController::TrackBar2Change() { applyAreaBar(services_.system, model_.controls.areaPosition); }

void PanelController::GIFImage1DblClick() {
  model_.controls.testAreaAnimating = !model_.controls.testAreaAnimating;
}

}  // namespace qv::app
