#pragma once
// The panel's own pictures, drawn with QPainter: arrow glyphs, the cursor image of the
// offset panel, the pictures of the Calibrate and Draw tabs and the still picture of the
// double-click test area.
#include "app/panel_model.h"

#include <QPixmap>
#include <QSize>

namespace qv::app::pictures {

QPixmap arrowGlyph(Arrow direction, const QColor& color);
// The 11 x 19 arrow cursor; the fixed one is drawn faint so the movable one stands out.
QPixmap cursorImage(bool faint);
QPixmap initialPicture(QSize size);
QPixmap calibrationPicture(QSize size);
QPixmap drawPicture(QSize size);
// One frame of the test area; phase 0..1 turns the picture for the animation.
QPixmap windowIcon();

}  // namespace qv::app::pictures
