// The display thread turns the worker's signal that results are queued into a call of the
// window's response handler in the main thread, and drives the two-panel activity indicator of
// the window's status bar ("Snd" and "Rcv" after a handled signal, blank after a quiet slice).
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/Dispatcher.h"
#include "measurement/DisplayTargets.h"
#include "platform/Event.h"
#include "platform/Thread.h"

class TDisplayThread final : public plat::Thread {
 public:
  using TNotifyEvent = std::function<void(TDisplayThread& sender)>;

  // The events and the status bar are borrowed and must outlive the thread. The handler may be
  // empty and the status bar null. The thread runs at once; its calls into the main thread go
  // through `dispatcher`.
  TDisplayThread(plat::Event& newDataEvent, plat::Event& sendEvent, plat::Event& receiveEvent,
                 TNotifyEvent onNewData, TStatusBar* statusBar,
                 plat::Dispatcher& dispatcher = plat::MainDispatcher());
  // Asks the loop to end and waits for it. A call into the main thread that is still queued is
  // dropped, so this never waits for the main thread (which may be the caller); a call that is
  // already running in the main thread is waited for.
  ~TDisplayThread() override;

  // Time the loop waits for the new-data event before it counts a slice as quiet.
  static constexpr uint32_t kSliceMs = 200;

 protected:
  void Execute() override;

 private:
  class MainThreadCall;

  // Run in the main thread.
  void DoNewData();
  void DoIdle();
  void ShowSendIndicator() { SetIndicator(0, "Snd"); }
  void ShowReceiveIndicator() { SetIndicator(1, "Rcv"); }
  void ClearSendIndicator() { SetIndicator(0, ""); }
  void ClearReceiveIndicator() { SetIndicator(1, ""); }
  void SetIndicator(int panel, const char* text);

  // Runs `member` in the main thread and waits until it ran or was dropped by the destructor.
  void Synchronize(void (TDisplayThread::*member)());

  plat::Event* FNewDataEvent;
  [[maybe_unused]] plat::Event* FSendEvent;     // held for the thread's lifetime, never waited on
  [[maybe_unused]] plat::Event* FReceiveEvent;  // held for the thread's lifetime, never waited on
  TNotifyEvent FOnNewData;
  TStatusBar* FStatusBar;

  plat::Dispatcher& dispatcher_;
  std::mutex callMutex_;
  bool stopping_ = false;                    // guarded by callMutex_
  std::shared_ptr<MainThreadCall> pending_;  // guarded by callMutex_
};
