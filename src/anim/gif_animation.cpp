#include "anim/gif_animation.h"

#include <algorithm>

namespace qv::anim {

std::uint32_t frameInterval(std::int32_t delayMs, std::int32_t speed) {
  const std::int64_t delay = std::max<std::int64_t>(delayMs, 50);
  const std::int64_t ms = delay * 100 / std::max<std::int32_t>(speed, 1);
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 1, UINT32_MAX));
}

std::uint32_t GifAnimation::intervalOf(std::int32_t frame) const {
  const std::int32_t delay = (frame >= 1 && frame <= host_.frameCount()) ? host_.frameDelay(frame) : 0;
  return frameInterval(delay, speed_);
}

void GifAnimation::reset() {
  empty_ = true;
  timer_.setEnabled(false);
  currentFrame_ = 1;
  loopCount_ = 1;
  passCount_ = 1;
  firstTick_ = true;
  infoOnly_ = false;
}

void GifAnimation::loaded(std::int32_t loopCount, bool infoOnly) {
  loopCount_ = loopCount;
  infoOnly_ = infoOnly;
  empty_ = false;
  timer_.setInterval(1);
  host_.changing();
  host_.drawFrame(currentFrame_);
  host_.changed();
}

void GifAnimation::tick() {
  if (empty_ || infoOnly_ || !animate_) return;
  const std::int32_t count = host_.frameCount();
  if (currentFrame_ > count || currentFrame_ < 1) currentFrame_ = 1;
  host_.changing();
  if (firstTick_) {
    firstTick_ = false;  // frame 1 was drawn by the load; this tick only schedules
  } else {
    host_.disposeFrame(currentFrame_ == 1 ? count : currentFrame_ - 1);
    host_.drawFrame(currentFrame_);
    host_.repaintDirect();
  }
  timer_.setInterval(intervalOf(currentFrame_));
  ++currentFrame_;
  const bool wrapped = currentFrame_ > count;
  if (!loop_ && loopCount_ > 0 && wrapped) {
    // A counted pass ended: CurrentFrame stays past the end until the next tick rewinds it.
    ++passCount_;
    timer_.setEnabled(passCount_ <= loopCount_);
  } else if (wrapped) {
    currentFrame_ = 1;
  }
  host_.changed();
  if (wrapped) host_.wrapped();
}

void GifAnimation::applyTimerRule() {
  timer_.setEnabled(animated() && animate_ && !infoOnly_ && !passesEnded());
}

void GifAnimation::setAnimate(bool value) {
  if (value == animate_) return;
  animate_ = value;
  passCount_ = 1;
  const std::int32_t count = host_.frameCount();
  if (value && count > 1) timer_.setInterval(intervalOf(currentFrame_));
  timer_.setEnabled(value && animated() && !infoOnly_);
  if (!value && currentFrame_ >= 2) {
    host_.disposeFrame(currentFrame_ - 1);
    currentFrame_ = 1;
    host_.drawFrame(currentFrame_);
    host_.invalidate();
  }
}

void GifAnimation::setLoop(bool value) {
  if (value == loop_) return;
  const bool stopped = host_.frameCount() > 0 && passesEnded();
  loop_ = value;
  if (!value || !stopped) return;
  currentFrame_ = 1;
  passCount_ = 1;
  if (animate_ && host_.frameCount() > 1) timer_.setInterval(intervalOf(1));
  timer_.setEnabled(animate_ && animated());
}

void GifAnimation::setSpeed(std::int32_t value) {
  value = std::max<std::int32_t>(value, 1);
  if (value == speed_) return;
  speed_ = value;
  // An immediate tick picks up the new speed for the frame it schedules.
  if (host_.frameCount() > 1 && animate_) timer_.setInterval(1);
}

bool GifAnimation::setCurrentFrame(std::int32_t value) {
  if (value == currentFrame_) return true;
  if (value < 1 || value > host_.frameCount()) return false;
  host_.changing();
  host_.disposeFrame(currentFrame_);
  currentFrame_ = value;
  host_.drawFrame(currentFrame_);
  host_.repaintDirect();
  host_.changed();
  return true;
}

}  // namespace qv::anim
