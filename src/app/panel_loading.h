#pragma once
// Start-up: fills the main window from the settings store and records the values that
// OK and Cancel compare against or restore.
#include "app/panel_model.h"
#include "app/panel_services.h"

#include <stdexcept>
#include <string_view>

namespace qv::app {

// A text that should hold a decimal integer does not ("'%s' is not a valid integer value").
class ConversionError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The whole text as a signed 32-bit decimal number (blanks around it and a sign allowed).
// Throws ConversionError naming the text otherwise.
std::int32_t parseDecimalText(std::string_view text);

enum class LoadOutcome {
  Ready,    // the window is filled and may be shown
  Refused,  // the user was told why (key missing, wrong driver); the program ends
};

// Loads every control and run-time value. Refusals are shown through services.prompts.
// A value the store cannot give (settings layer errors) or a bad cursor offset throws;
// the caller ends the program then. Changes no system setting and sends nothing.
LoadOutcome loadPanel(PanelModel& model, PanelServices& services);

}  // namespace qv::app
