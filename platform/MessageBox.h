// The message box that lower layers show: modal in the calling thread, no owner window, no
// caption of its own and one OK button. The window layer binds the hook to its dialog; tests bind
// a recorder. Without a hook the text goes to the standard error stream.
#pragma once

#include <functional>
#include <string>

namespace plat {

using MessageBoxHook = std::function<void(const std::string& text)>;

// Shows the text and returns when the user has closed the box.
void ShowMessageBox(const std::string& text);

// Binds the hook (an empty one unbinds); returns the hook bound before.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Binds a hook for the life of this object and restores the previous one afterwards.
class ScopedMessageBoxHook {
 public:
  explicit ScopedMessageBoxHook(MessageBoxHook hook)
      : previous_(SetMessageBoxHook(std::move(hook))) {}
  ~ScopedMessageBoxHook() { SetMessageBoxHook(std::move(previous_)); }
  ScopedMessageBoxHook(const ScopedMessageBoxHook&) = delete;
  ScopedMessageBoxHook& operator=(const ScopedMessageBoxHook&) = delete;

 private:
  MessageBoxHook previous_;
};

}  // namespace plat
