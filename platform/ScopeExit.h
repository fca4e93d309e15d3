// Runs a call when the enclosing scope is left, however it is left (return or exception).
#pragma once

#include <utility>

namespace plat {

template <typename Call>
class ScopeExit {
 public:
  explicit ScopeExit(Call call) : call_(std::move(call)) {}
  ~ScopeExit() { call_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Call call_;
};

}  // namespace plat
