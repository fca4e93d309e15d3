// The window's connection controls as "#define" sets them, found by object name among the
// controls the window was built with.
#pragma once

#include "tester/ControlSettings.h"

namespace tester {

class Controls;

class WidgetSettings final : public TControlSettings {
 public:
  explicit WidgetSettings(const Controls& controls) : controls_(controls) {}

  // An edit's text, or the text in a combo box's edit field.
  void SetText(std::string_view control, const std::string& text) override;
  int RadioItemCount(std::string_view control) const override;
  void SetItemIndex(std::string_view control, int index) override;
  void SetChecked(std::string_view control, bool checked) override;

 private:
  const Controls& controls_;
};

}  // namespace tester
