#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace plat {

namespace {
std::mutex gHookMutex;
MessageBoxHook gHook;
}  // namespace

void ShowMessageBox(const std::string& text) {
  MessageBoxHook hook;
  {
    std::lock_guard lock(gHookMutex);
    hook = gHook;
  }
  if (hook)
    hook(text);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard lock(gHookMutex);
  std::swap(gHook, hook);
  return hook;
}

}  // namespace plat
