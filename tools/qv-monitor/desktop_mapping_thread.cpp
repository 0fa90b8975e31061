#include "desktop_mapping_thread.h"

#include "drm_connectors.h"
#include "kernel_uevents.h"

#include <glib-unix.h>
#include <glib.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstring>

namespace qv::tools {

namespace {

// Monitor events come in bursts, and the compositor needs a moment to take a new monitor
// before it can be named.
constexpr guint kSettleMs = 700;

struct ContextUnref {
  void operator()(GMainContext* c) const { g_main_context_unref(c); }
};
struct LoopUnref {
  void operator()(GMainLoop* l) const { g_main_loop_unref(l); }
};
struct SourceUnref {
  void operator()(GSource* s) const {
    g_source_destroy(s);
    g_source_unref(s);
  }
};
using Source = std::unique_ptr<GSource, SourceUnref>;

}  // namespace

struct DesktopMappingThread::Loop {
  std::unique_ptr<GMainContext, ContextUnref> context{g_main_context_new()};
  std::unique_ptr<GMainLoop, LoopUnref> loop{g_main_loop_new(context.get(), FALSE)};
  std::unique_ptr<DesktopTouchMapping> mapping;  // lives on the thread
  Source settle;                                 // a mapping due shortly

  // Runs fn on the loop's thread, later, whichever thread asks.
  void post(GSourceFunc fn, gpointer data) {
    GSource* idle = g_idle_source_new();
    g_source_set_callback(idle, fn, data, nullptr);
    g_source_attach(idle, context.get());
    g_source_unref(idle);
  }

  // On the loop's thread: maps after the burst has settled.
  void mapSoon() {
    settle.reset(g_timeout_source_new(kSettleMs));
    g_source_set_callback(
        settle.get(),
        [](gpointer self) -> gboolean {
          auto* loop = static_cast<Loop*>(self);
          if (loop->mapping) loop->mapping->apply();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(settle.get(), context.get());
  }

  // The kernel's events: a monitor plugged, unplugged or changed.
  static gboolean monitorsChanged(gint fd, GIOCondition, gpointer self) {
    if (drainUevents(fd, "drm")) static_cast<Loop*>(self)->mapSoon();
    return G_SOURCE_CONTINUE;
  }
};

DesktopMappingThread::DesktopMappingThread(MakeSetting makeSetting, Say say)
    : say_(std::move(say)), loop_(std::make_unique<Loop>()) {
  // The program's end signals are taken by its own watcher: this thread (and the threads
  // GLib starts from it) are born with them blocked.
  sigset_t ends, before;
  sigemptyset(&ends);
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&ends, sig);
  pthread_sigmask(SIG_BLOCK, &ends, &before);
  thread_ = std::thread([this, make = std::move(makeSetting)]() mutable { run(std::move(make)); });
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

DesktopMappingThread::~DesktopMappingThread() {
  loop_->post(
      [](gpointer loop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_->loop.get());
  thread_.join();
}

void DesktopMappingThread::reapply() {
  loop_->post(
      [](gpointer self) -> gboolean {
        auto* loop = static_cast<Loop*>(self);
        if (loop->mapping) loop->mapping->apply();
        return G_SOURCE_REMOVE;
      },
      loop_.get());
}

void DesktopMappingThread::run(MakeSetting makeSetting) {
  Loop& loop = *loop_;
  g_main_context_push_thread_default(loop.context.get());
  auto setting = makeSetting([&loop] { loop.mapSoon(); });
  loop.mapping = std::make_unique<DesktopTouchMapping>(std::move(setting), drmClassDir(), say_);

  const platform::UniqueFd uevents = openKernelUevents();
  Source watch;
  if (uevents) {
    watch.reset(g_unix_fd_source_new(uevents.get(), G_IO_IN));
    g_source_set_callback(watch.get(), G_SOURCE_FUNC(Loop::monitorsChanged), &loop, nullptr);
    g_source_attach(watch.get(), loop.context.get());
  } else {
    say_(std::string("touch screen: changes of monitors are not followed (no kernel events: ") +
         std::strerror(errno) + "); a new calibration maps again");
  }

  loop.mapping->apply();
  g_main_loop_run(loop.loop.get());

  watch.reset();
  loop.settle.reset();
  loop.mapping.reset();
  g_main_context_pop_thread_default(loop.context.get());
}

}  // namespace qv::tools
