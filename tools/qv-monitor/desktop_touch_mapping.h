#pragma once
// Keeps the driver's touch screen on its monitor through a desktop's own setting (GNOME's,
// KWin's, or a line telling the user): the stored monitor, found among the connected ones
// by its EDID identity first and its connector second; while the calibration screen is
// shown, the monitor it covers, the setting before it being put back when it closes with
// no monitor stored. A monitor that is not connected leaves the setting as it is, which it
// says.
#include "cursor_hiding.h"
#include "drm_connectors.h"

#include <filesystem>
#include <memory>
#include <string>

namespace qv::tools {

// The desktop's setting of the monitor the touch screen drives.
class TouchOutputSetting {
public:
  virtual ~TouchOutputSetting() = default;
  // Points the touch screen at monitor; the line for the log says what was done or why not.
  virtual std::string map(const DrmConnector& monitor) = 0;
  // Remembers the setting as it is now (a calibration starts) ...
  virtual void keep() = 0;
  // ... and puts it back (the calibration ended with no monitor stored); the line for the log.
  virtual std::string putBack() = 0;
};

class DesktopTouchMapping {
public:
  DesktopTouchMapping(std::unique_ptr<TouchOutputSetting> setting, std::filesystem::path drmDir, Say say);

  // Maps from the store, the calibration screen's monitor and the connected monitors now.
  void apply();

private:
  void sayOnce(const std::string& line);

  std::unique_ptr<TouchOutputSetting> setting_;
  std::filesystem::path drmDir_;
  Say say_;
  std::string said_;
  bool kept_ = false;  // the setting before the calibration screen took it
};

}  // namespace qv::tools
