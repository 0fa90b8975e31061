#include "anim/qt/gif_image.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace qv::anim {

namespace {

QRect toQRect(const Rect& r) { return QRect(r.left, r.top, r.width(), r.height()); }

// A frame's palette-index image with its colours, as the frame's own bitmap.
QImage frameImage(const TGIFFrame& frame) {
  const Plane& pixels = frame.Image;
  if (pixels.empty()) return {};
  QImage image(pixels.width, pixels.height, QImage::Format_Indexed8);
  QList<QRgb> colours(256);
  for (int i = 0; i < 256; ++i) {
    const Rgb c = frame.Palette ? (*frame.Palette)[static_cast<std::size_t>(i)] : Rgb{};
    colours[i] = qRgb(c.r, c.g, c.b);
  }
  image.setColorTable(colours);
  for (int y = 0; y < pixels.height; ++y) {
    std::copy_n(pixels.pixels.data() + static_cast<std::size_t>(y) * pixels.width, pixels.width,
                image.scanLine(y));
  }
  return image;
}

// RAII for the re-entry guard of the direct repaint: cleared however the paint ends.
class PaintingFlag {
public:
  explicit PaintingFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~PaintingFlag() { flag_ = false; }
  PaintingFlag(const PaintingFlag&) = delete;
  PaintingFlag& operator=(const PaintingFlag&) = delete;

private:
  bool& flag_;
};

}  // namespace

void TGIFImage::TimerLink::setInterval(std::uint32_t ms) {
  try {
    owner_.timer_->setInterval(ms);
  } catch (const EOutOfResources&) {
    // A window timer the platform refused: the animation stands still; the control never raises.
  }
}

void TGIFImage::TimerLink::setEnabled(bool on) {
  try {
    owner_.timer_->setEnabled(on);
  } catch (const EOutOfResources&) {
  }
}

bool TGIFImage::TimerLink::enabled() const { return owner_.timer_->enabled(); }

TGIFImage::TGIFImage(QWidget* parent)
    : QWidget(parent), color_(palette().color(QPalette::Base)) {
  resize(105, 105);
  timer_ = std::make_unique<TTimerEx>(loop_, windowTimers_);
  timer_->setEnabled(false);
  timer_->setOnTimer([this](TTimerEx&) { animation_.tick(); });
}

TGIFImage::~TGIFImage() {
  reset();
  timer_.reset();  // no tick may reach a half-destroyed control
}

// ---- loading -------------------------------------------------------------------------------

template <typename Load> bool TGIFImage::load(Load&& parse) {
  reset();
  if (OnProgress) {
    decoder_.OnProgress = [this](const ProgressReport& report, bool& keep) { OnProgress(*this, report, keep); };
  } else {
    decoder_.OnProgress = nullptr;
  }
  if (!parse()) {
    const TGIFError error = decoder_.LastError();
    Clear();
    decoder_.SetLastError(error);
    return false;
  }
  finishLoad();
  decoder_.SetLastError(TGIFError::geNone);
  update();
  return true;
}

// File and resource loads find their bytes before anything changes: a file or resource that
// is missing, or a file that cannot be opened, leaves the picture and its animation as they were.
bool TGIFImage::LoadFromFile(const std::filesystem::path& file) {
  auto bytes = readGifFile(file);
  if (!bytes) {
    decoder_.SetLastError(TGIFError::geFileNotFound);
    return false;
  }
  return load([&] { return decoder_.LoadFromData(std::move(*bytes), false); });
}
bool TGIFImage::LoadFromStream(std::istream& stream) {
  return load([&] { return decoder_.LoadFromStream(stream); });
}
bool TGIFImage::LoadFromBytes(std::span<const std::uint8_t> bytes) {
  return load([&] { return decoder_.LoadFromBytes(bytes); });
}
bool TGIFImage::LoadInfoFromFile(const std::filesystem::path& file) {
  auto bytes = readGifFile(file);
  if (!bytes) {
    decoder_.SetLastError(TGIFError::geFileNotFound);
    return false;
  }
  return load([&] { return decoder_.LoadFromData(std::move(*bytes), true); });
}
bool TGIFImage::LoadInfoFromStream(std::istream& stream) {
  return load([&] { return decoder_.LoadInfoFromStream(stream); });
}
bool TGIFImage::LoadFromResourceName(const ResourceModule& module, std::string_view name) {
  const std::vector<std::uint8_t>* bytes = findGifResource(module, name);
  if (!bytes) {
    decoder_.SetLastError(TGIFError::geResourceNotFound);
    return false;
  }
  return load([&] { return decoder_.LoadFromBytes(*bytes); });
}
bool TGIFImage::LoadFromResourceID(const ResourceModule& module, int id) {
  return LoadFromResourceName(module, "#" + std::to_string(id));
}

void TGIFImage::reset() {
  animation_.reset();
  firstFrameCopy_ = QImage();
}

void TGIFImage::finishLoad() {
  hasComposition_ = false;
  composition_ = {};
  if (!decoder_.InfoOnly()) {
    composition_ = makeComposition(decoder_.ImageWidth(), decoder_.ImageHeight(), decoder_.AnyTransparent());
    hasComposition_ = true;
    if (autoSize_) resize(decoder_.ImageWidth(), decoder_.ImageHeight());
  }
  shownDirty_ = true;
  animation_.loaded(decoder_.LoopCount(), decoder_.InfoOnly());
  updateStyle();
}

void TGIFImage::Clear() {
  reset();
  decoder_.Reset();
  composition_ = {};
  hasComposition_ = false;
  shownDirty_ = true;
  updateStyle();
  update();
}

void TGIFImage::Assign(const TGIFImage* source) {
  if (source == this) return;
  if (!source || source->Empty()) {
    Clear();
    return;
  }
  const std::vector<std::uint8_t> bytes = source->decoder_.DataStream();
  LoadFromBytes(bytes);
}

void TGIFImage::AssignTo(QImage& bitmap) {
  if (Empty() || InfoOnly()) {
    bitmap = QImage();
    return;
  }
  if (firstFrameCopy_.isNull()) {
    if (const TGIFFrame* frame = decoder_.Frame(1)) firstFrameCopy_ = frameImage(*frame);
  }
  bitmap = firstFrameCopy_;
}

QList<QRgb> TGIFImage::Palette() const {
  if (Empty() || InfoOnly() || FrameCount() == 0 || !visible_) return {};
  const TGIFFrame* frame = decoder_.Frame(CurrentFrame());
  if (!frame || !frame->Palette) return {};
  QList<QRgb> colours;
  colours.reserve(256);
  for (const Rgb& c : *frame->Palette) colours.push_back(qRgb(c.r, c.g, c.b));
  return colours;
}

std::vector<std::uint8_t> TGIFImage::WriteData() const {
  const auto& bytes = decoder_.DataStream();
  if (bytes.empty()) return {};
  return encodeDataProperty(bytes);
}

void TGIFImage::ReadData(std::span<const std::uint8_t> stored) {
  auto bytes = decodeDataProperty(stored);
  decoder_.SetDataStream(bytes ? std::move(*bytes) : std::vector<std::uint8_t>{});
}

void TGIFImage::Loaded() {
  if (decoder_.DataStream().empty()) return;
  const std::vector<std::uint8_t> bytes = decoder_.DataStream();
  LoadFromBytes(bytes);
}

// ---- properties ----------------------------------------------------------------------------

void TGIFImage::SetAnimate(bool value) { animation_.setAnimate(value); }

void TGIFImage::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  if (value && !Empty() && !InfoOnly()) {
    resize(ImageWidth(), ImageHeight());
    update();
  }
}

void TGIFImage::SetCenter(bool value) {
  if (value == layout_.center) return;
  layout_.center = value;
  updateStyle();
  update();
}

void TGIFImage::SetCurrentFrame(int value) {
  if (!animation_.setCurrentFrame(value)) decoder_.SetLastError(TGIFError::geIndexOutOfBounds);
}

void TGIFImage::SetOpaque(bool value) {
  if (value == opaque_) return;
  opaque_ = value;
  updateStyle();
  update();
}

void TGIFImage::SetStretch(bool value) {
  if (value == layout_.stretch) return;
  layout_.stretch = value;
  updateStyle();
  update();
}

void TGIFImage::SetStretchRatio(bool value) {
  if (value == layout_.stretchRatio) return;
  layout_.stretchRatio = value;
  updateStyle();
  update();
}

void TGIFImage::SetTile(bool value) {
  if (value == layout_.tile) return;
  layout_.tile = value;
  updateStyle();
  update();
}

void TGIFImage::SetThreaded(bool value) {
  try {
    timer_->setThreaded(value);
  } catch (const EOutOfResources&) {
    // The animation stands still without a timer; the control never raises.
  }
}

void TGIFImage::SetThreadPriority(TThreadPriority value) { timer_->setThreadPriority(value); }

void TGIFImage::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  updateStyle();
  update();
}

void TGIFImage::SetColor(const QColor& value) {
  if (value == color_) return;
  color_ = value;
  update();
}

// ---- composing -----------------------------------------------------------------------------

std::int32_t TGIFImage::frameDelay(std::int32_t frame) const {
  const TGIFFrame* f = decoder_.Frame(frame);
  return f ? f->Delay : 0;
}

void TGIFImage::disposeFrame(std::int32_t frame) {
  if (!hasComposition_) return;  // nothing loaded, or geometry only
  if (qv::anim::disposeFrame(decoder_, composition_, frame)) shownDirty_ = true;
}

void TGIFImage::drawFrame(std::int32_t frame) {
  if (!hasComposition_) return;  // nothing loaded, or geometry only
  if (qv::anim::drawFrame(decoder_, composition_, frame)) shownDirty_ = true;
}

void TGIFImage::changing() {
  if (OnChanging) OnChanging(*this);
}
void TGIFImage::changed() {
  if (OnChange) OnChange(*this);
}
void TGIFImage::wrapped() {
  if (OnWrapAnimation) OnWrapAnimation(*this);
}

bool TGIFImage::frameOneTransparent() const {
  const TGIFFrame* first = decoder_.Frame(1);
  return first && first->Transparent;
}

QImage TGIFImage::CompositeImage() const {
  if (!hasComposition_) return {};
  if (shownDirty_) {
    const RgbPlane& picture = composition_.Composite;
    // With a transparent first frame the mask cuts the picture out; otherwise it is copied
    // whole, as an opaque picture.
    const bool masked = composition_.hasMask() && frameOneTransparent();
    QImage image(picture.width, picture.height, masked ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < picture.height; ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < picture.width; ++x) {
        const std::uint32_t pixel = picture.at(x, y);
        line[x] = (masked && composition_.CompositeMask.at(x, y) != 0) ? 0u : (pixel | 0xFF000000u);
      }
    }
    shown_ = std::move(image);
    shownDirty_ = false;
  }
  return shown_;
}

// ---- painting ------------------------------------------------------------------------------

QRect TGIFImage::DestinationRect() const { return toQRect(destinationRect(layout_, controlSize(), pictureSize())); }

bool TGIFImage::updateStyle() {
  const bool before = pictureOpaque_;
  // Frame count 0 (a GIF without images) draws nothing, so it cannot cover the parent.
  const bool drawsOpaque = opaque_ || (!Empty() && FrameCount() > 0 && !InfoOnly() && !frameOneTransparent());
  pictureOpaque_ = visible_ && drawsOpaque &&
                   coversClient(destinationRect(layout_, controlSize(), pictureSize()), controlSize());
  setAttribute(Qt::WA_OpaquePaintEvent, pictureOpaque_);
  return before != pictureOpaque_;
}

void TGIFImage::paintPicture(QPainter& painter) {
  if (!visible_) return;
  if (opaque_) painter.fillRect(rect(), color_);
  if (Empty() || InfoOnly() || FrameCount() == 0) return;
  const QImage picture = CompositeImage();
  if (picture.isNull()) return;
  // Stretching drops or repeats pixels (no smoothing), as the picture is pixel art.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  for (const Rect& r : paintRects(layout_, controlSize(), pictureSize())) {
    painter.drawImage(toQRect(r), picture);
  }
}

void TGIFImage::paintEvent(QPaintEvent*) {
  const bool markChanged = updateStyle();
  if (!Empty() || opaque_) {
    QPainter painter(this);
    paintPicture(painter);
  }
  // The window composed this paint with the old opacity: have it compose the control again,
  // the parent painting beneath as the new mark says.
  if (markChanged) update();
  animation_.applyTimerRule();
}

void TGIFImage::repaintDirect() {
  if (painting_ || !visible_ || !isVisible()) return;
  PaintingFlag flag(painting_);
  // Only the picture's rectangle is repainted, at once and through the window's back buffer,
  // so a new frame reaches the screen in one copy without flicker.
  repaint(DestinationRect().intersected(rect()));
}

void TGIFImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  updateStyle();
}

void TGIFImage::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick) OnClick(*this);
}

void TGIFImage::mouseDoubleClickEvent(QMouseEvent* event) {
  QWidget::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick(*this);
}

}  // namespace qv::anim
