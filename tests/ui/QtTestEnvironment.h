// The application object that the window-layer tests share, on the offscreen platform unless the
// environment names another one, with the font of a desktop set to 12 points.
#pragma once

#include <string>
#include <vector>

#include "ui/Application.h"

namespace uitest {

ui::Application& App();

// Records the message boxes shown while it exists instead of showing them.
class MessageBoxRecorder {
 public:
  struct Box {
    std::string caption;
    std::string text;
  };
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  const std::vector<Box>& Boxes() const { return boxes_; }

 private:
  std::vector<Box> boxes_;
};

}  // namespace uitest
