// The main-thread dispatcher bound to the Qt event loop: posted calls travel as Qt events to an
// object of the main thread, and a pumped wait runs the Qt event loop until the event is set.
#pragma once

#include <QObject>

#include "platform/Dispatcher.h"

namespace ui {

class QtDispatcher final : public QObject, public plat::Dispatcher {
 public:
  // Create in the main thread, after the application object.
  QtDispatcher();
  ~QtDispatcher() override;

  void Post(Call call) override;
  // Runs the Qt event loop until `event` is set. Each posted call served and each user input
  // event starts the time-out again; paint and timer events do not, so a blinking caret cannot
  // hold the wait open forever.
  plat::WaitResult PumpWait(plat::Event& event, uint32_t timeoutMs) override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  uint64_t activity_ = 0;  // main thread only
};

}  // namespace ui
