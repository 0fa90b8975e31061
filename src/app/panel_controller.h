#pragma once
// The main window's logic without the window: start-up, OK, Cancel and the handlers of
// the Setting tab and the port controls, over the window's state as plain data. The
// window forwards each user action here and then shows the state again.
#include "app/panel_apply.h"
#include "app/panel_loading.h"
#include "app/panel_model.h"
#include "app/panel_services.h"
#include "app/repeat_timer.h"

namespace qv::app {

class PanelController {
public:
  PanelController(PanelServices services, RepeatTimer& timer);
  PanelController(const PanelController&) = delete;
  PanelController& operator=(const PanelController&) = delete;

  LoadOutcome load() { return loadPanel(model_, services_); }

  PanelModel& model() { return model_; }
  const PanelModel& model() const { return model_; }
  PanelControls& controls() { return model_.controls; }
  PanelRuntime& runtime() { return model_.runtime; }
  PanelServices& services() { return services_; }

  // True when this user may change the machine; otherwise tells them why, once for each
  // attempt. Initial, Calibration, Detect and Advance ask first.
  bool mayChangeMachine() { return app::mayChangeMachine(services_.access, services_.prompts); }

  // True when the window is to close.
  bool btnOkClick();
  bool btnCancelClick();

  void ComboBox1Change();
  void cbUserDefineClick();
  void cbSoundClick();
  void cbCursorOffsetClick();
  void arrowMouseDown(Arrow arrow);
  void btnUpMouseUp();
  void Timer1Timer();
  void TrackBar1Change();
  void TrackBar2Change();
  void GIFImage1DblClick();

private:
  PanelServices services_;
  RepeatTimer& timer_;
  PanelModel model_;
};

}  // namespace qv::app
