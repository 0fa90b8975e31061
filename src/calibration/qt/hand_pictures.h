#pragma once
// The calibration screen's pointing hands, drawn by our own code: 64 x 64 pictures in a
// few plain colours whose finger points up, right, down or left toward the dot.
#include <QPixmap>

namespace qv::calibration {

// direction: 0 up, 1 right, 2 down, 3 left.
QPixmap handPicture(int direction);

}  // namespace qv::calibration
