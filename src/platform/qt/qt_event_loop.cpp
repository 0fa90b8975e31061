#include "platform/qt/qt_event_loop.h"

#include <QThread>

namespace qv::platform {

QtEventLoop::QtEventLoop() : context_(new QObject) {}

QtEventLoop::~QtEventLoop() { delete context_; }

void QtEventLoop::post(std::function<void()> fn) {
  QMetaObject::invokeMethod(context_, std::move(fn), Qt::QueuedConnection);
}

void QtEventLoop::postAndWait(std::function<void()> fn) {
  if (QThread::currentThread() == context_->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(context_, std::move(fn), Qt::BlockingQueuedConnection);
}

}  // namespace qv::platform
