#pragma once
// The live rules of the Setting tab and the port controls, as free functions over the
// window's state. None of them talks to the driver or the store.
#include "app/panel_model.h"
#include "platform/system_services.h"

namespace qv::app {

// "Long Beep Sound" is usable exactly when "Beep Sound" is checked (its mark stays).
void applySoundRule(PanelControls& c);
// The arrows are usable exactly when "Cursor Offset" is checked (the offset stays).
void applyCursorOffsetRule(PanelControls& c);
// "User Define": the combo box when unchecked, the IRQ and I/O address boxes when checked.
void applyUserDefineRule(PanelControls& c);
// A selected port fills the IRQ and I/O address texts from the port list; a text that
// selects no item changes nothing.
void applyComboSelection(PanelControls& c, const ComSet& ports);

// Where the movable cursor picture stands for an offset from the fixed one.
void placeCursorPictures(PanelControls& c, const PanelRuntime& r);
// One step of the movable cursor in the arrow's direction. A step that would take the
// picture to the offset panel's edge does nothing and returns false; an allowed step
// moves the picture and the offset by one pixel and records the direction.
bool stepArrow(PanelControls& c, PanelRuntime& r, Arrow arrow);

// The system double-click settings a track bar position stands for.
std::uint32_t doubleClickTimeFor(int speedPosition);  // 1000 - position, in ms
// Applies a bar position to the system at once.
void applySpeedBar(platform::SystemServices& system, int speedPosition);
void applyAreaBar(platform::SystemServices& system, int areaPosition);

}  // namespace qv::app
