#pragma once
// TGIFImage: shows a GIF and animates it. It draws over its parent's background, so the
// transparent parts of the picture show what lies beneath; the picture is composed once per
// step and painting only copies it (centred, stretched, aspect-kept or tiled). A TTimerEx,
// threaded by default, drives the steps; every tick runs on the user-interface thread.
#include "anim/dest_rect.h"
#include "anim/frame_composer.h"
#include "anim/gif_data_property.h"
#include "anim/gif_animation.h"
#include "anim/gif_decoder.h"
#include "anim/qt/qt_window_timer.h"
#include "anim/timer_ex.h"
#include "platform/qt/qt_event_loop.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <vector>

namespace qv::anim {

class TGIFImage : public QWidget, private AnimationHost {
public:
  using NotifyEvent = std::function<void(TGIFImage& sender)>;
  using ProgressEvent = std::function<void(TGIFImage& sender, const ProgressReport& report,
                                           bool& keepOnProcessing)>;

  explicit TGIFImage(QWidget* parent = nullptr);
  ~TGIFImage() override;

  // Loads: true when loaded; false leaves LastError set and, when the data itself failed,
  // the control cleared. A missing file or resource changes nothing else; an existing file
  // that cannot be opened raises its open error and changes nothing. Nothing else throws.
  // A file, stream or data above kMaxGifBytes (64 MiB) is refused as a bad file
  // (geFileFormat), read no further than one byte past that size.
  bool LoadFromFile(const std::filesystem::path& file);
  bool LoadFromStream(std::istream& stream);
  bool LoadFromBytes(std::span<const std::uint8_t> bytes);
  bool LoadInfoFromFile(const std::filesystem::path& file);
  bool LoadInfoFromStream(std::istream& stream);
  bool LoadFromResourceName(const ResourceModule& module, std::string_view name);
  bool LoadFromResourceID(const ResourceModule& module, int id);
  bool GetFrameInfo(int frameNumber, TFrameInfo& info) { return decoder_.GetFrameInfo(frameNumber, info); }
  TGIFError LastError() const { return decoder_.LastError(); }

  // Drops the picture and its frames; the control shows nothing (or its Color when Opaque).
  void Clear();
  // Loads the source's GIF bytes; an empty source, or none, clears this control.
  void Assign(const TGIFImage* source);
  // Frame 1's own image at that frame's size (null when nothing is loaded or info only).
  void AssignTo(QImage& bitmap);
  // The current frame's colours, for palette displays; empty when there is none to give.
  QList<QRgb> Palette() const;

  // The streamed "Data" form (count + GIF bytes); empty when there is nothing to store.
  std::vector<std::uint8_t> WriteData() const;
  // Takes a stored Data form into DataStream; Loaded() then loads it.
  void ReadData(std::span<const std::uint8_t> stored);
  // The holding window finished loading: loads a non-empty DataStream; a failure leaves the
  // control empty and is not reported further.
  void Loaded();

  // Published properties.
  bool Animate() const { return animation_.animate(); }
  void SetAnimate(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool Center() const { return layout_.center; }
  void SetCenter(bool value);
  int CurrentFrame() const { return animation_.currentFrame(); }
  void SetCurrentFrame(int value);
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool value) { doubleBuffered_ = value; }
  bool FirstImageOnly() const { return decoder_.FirstImageOnly; }
  void SetFirstImageOnly(bool value) { decoder_.FirstImageOnly = value; }
  bool Loop() const { return animation_.loop(); }
  void SetLoop(bool value) { animation_.setLoop(value); }
  bool Opaque() const { return opaque_; }
  void SetOpaque(bool value);
  int Speed() const { return animation_.speed(); }
  void SetSpeed(int value) { animation_.setSpeed(value); }
  bool Stretch() const { return layout_.stretch; }
  void SetStretch(bool value);
  bool StretchRatio() const { return layout_.stretchRatio; }
  void SetStretchRatio(bool value);
  bool Tile() const { return layout_.tile; }
  void SetTile(bool value);
  bool Threaded() const { return timer_->threaded(); }
  void SetThreaded(bool value);
  TThreadPriority ThreadPriority() const { return timer_->threadPriority(); }
  void SetThreadPriority(TThreadPriority value);
  // Draws the picture at all; unlike hiding the widget, the control keeps its mouse events.
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  QColor Color() const { return color_; }
  void SetColor(const QColor& value);
  TGIFVersion Version() const { return decoder_.Version(); }

  // Read-only state of the loaded picture.
  bool Empty() const { return decoder_.Empty(); }
  bool InfoOnly() const { return decoder_.InfoOnly(); }
  bool Animated() const { return animation_.animated(); }
  std::int32_t FrameCount() const { return decoder_.FrameCount(); }
  std::int32_t LoopCount() const { return decoder_.LoopCount(); }
  std::int32_t ImageWidth() const { return decoder_.ImageWidth(); }
  std::int32_t ImageHeight() const { return decoder_.ImageHeight(); }
  bool TimerEnabled() const { return timer_->enabled(); }
  std::uint32_t TimerInterval() const { return timer_->interval(); }
  // The rectangle the picture is drawn into, in control coordinates.
  QRect DestinationRect() const;
  // The composed picture as painted (transparent parts with alpha 0).
  QImage CompositeImage() const;

  // Events.
  NotifyEvent OnChanging;
  NotifyEvent OnChange;
  NotifyEvent OnWrapAnimation;
  ProgressEvent OnProgress;
  NotifyEvent OnClick;
  NotifyEvent OnDblClick;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
  class TimerLink final : public AnimationTimer {
  public:
    explicit TimerLink(TGIFImage& owner) : owner_(owner) {}
    void setInterval(std::uint32_t ms) override;
    void setEnabled(bool on) override;
    bool enabled() const override;

  private:
    TGIFImage& owner_;
  };

  // AnimationHost
  std::int32_t frameCount() const override { return decoder_.FrameCount(); }
  std::int32_t frameDelay(std::int32_t frame) const override;
  void disposeFrame(std::int32_t frame) override;
  void drawFrame(std::int32_t frame) override;
  void repaintDirect() override;
  void invalidate() override { update(); }
  void changing() override;
  void changed() override;
  void wrapped() override;

  template <typename Load> bool load(Load&& parse);
  void reset();
  void finishLoad();
  // Recomputes whether the picture covers the whole control opaquely; true when that changed.
  bool updateStyle();
  void paintPicture(QPainter& painter);
  bool frameOneTransparent() const;
  Size controlSize() const { return {width(), height()}; }
  Size pictureSize() const { return {decoder_.ImageWidth(), decoder_.ImageHeight()}; }

  GifDecoder decoder_;
  Composition composition_;
  bool hasComposition_ = false;
  mutable QImage shown_;  // the composition as an image, rebuilt after each step
  mutable bool shownDirty_ = true;
  QImage firstFrameCopy_;
  Layout layout_;
  QColor color_;
  bool autoSize_ = false;
  bool opaque_ = false;
  bool visible_ = true;
  bool doubleBuffered_ = true;
  bool painting_ = false;
  bool pictureOpaque_ = false;  // the opaque mark: the parent need not paint beneath
  platform::QtEventLoop loop_;
  QtWindowTimerFactory windowTimers_;
  std::unique_ptr<TTimerEx> timer_;
  TimerLink timerLink_{*this};
  GifAnimation animation_{*this, timerLink_};
};

}  // namespace qv::anim
