#include "ui/QtDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>

#if defined(__SANITIZE_THREAD__)
#define QUOBRIX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUOBRIX_THREAD_SANITIZER 1
#endif
#endif
#ifdef QUOBRIX_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace ui {

namespace {

const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class CallEvent : public QEvent {
 public:
  explicit CallEvent(plat::Dispatcher::Call call) : QEvent(kCallEvent), call_(std::move(call)) {}
  const plat::Dispatcher::Call& Call() const { return call_; }

 private:
  plat::Dispatcher::Call call_;
};

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
      return true;
    default:
      return false;
  }
}

// Qt hands a posted event to the main thread under a lock that ThreadSanitizer cannot see (inside
// the uninstrumented Qt library). These tell it that all the poster did before the post happens
// before the posted call runs; without the sanitizer they do nothing.
void NoteHandOver([[maybe_unused]] QEvent* event) {
#ifdef QUOBRIX_THREAD_SANITIZER
  __tsan_release(event);
#endif
}
void NoteTakeOver([[maybe_unused]] QEvent* event) {
#ifdef QUOBRIX_THREAD_SANITIZER
  __tsan_acquire(event);
#endif
}

// Longest sleep between two looks at the event and the Qt queue.
constexpr uint32_t kPollSliceMs = 1;

}  // namespace

QtDispatcher::QtDispatcher() {
  QCoreApplication::instance()->installEventFilter(this);
}

QtDispatcher::~QtDispatcher() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void QtDispatcher::Post(Call call) {
  auto* event = new CallEvent(std::move(call));
  NoteHandOver(event);
  QCoreApplication::postEvent(this, event);
}

bool QtDispatcher::event(QEvent* event) {
  if (event->type() != kCallEvent) return QObject::event(event);
  NoteTakeOver(event);
  ++activity_;
  RunCall(static_cast<CallEvent*>(event)->Call());
  return true;
}

bool QtDispatcher::eventFilter(QObject* watched, QEvent* event) {
  if (IsUserInput(event->type())) ++activity_;
  return QObject::eventFilter(watched, event);
}

plat::WaitResult QtDispatcher::PumpWait(plat::Event& event, uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  const bool limited = timeoutMs != plat::kInfinite;
  auto deadline = Clock::now() + timeout;
  for (;;) {
    if (event.IsSet()) return plat::WaitResult::Signaled;
    const uint64_t before = activity_;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (activity_ != before) {
      deadline = Clock::now() + timeout;
      continue;
    }
    uint32_t sliceMs = kPollSliceMs;
    if (limited) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return plat::WaitResult::Timeout;
      sliceMs = std::min<uint32_t>(sliceMs, static_cast<uint32_t>(left.count()));
    }
    event.WaitFor(sliceMs);
  }
}

}  // namespace ui
