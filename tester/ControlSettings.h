// The window's connection controls as the definition-file reader sets them ("#define"): each
// addressed by its object name. The window implements it with its widgets, tests with a fake.
// Main thread only.
#pragma once

#include <string>
#include <string_view>

class TControlSettings {
 public:
  virtual ~TControlSettings() = default;
  // The text of an edit or combo box.
  virtual void SetText(std::string_view control, const std::string& text) = 0;
  // The number of items of a radio group.
  virtual int RadioItemCount(std::string_view control) const = 0;
  // The chosen item of a radio group; the reader has already limited `index` to -1 (none)
  // .. RadioItemCount - 1.
  virtual void SetItemIndex(std::string_view control, int index) = 0;
  // The state of a check box.
  virtual void SetChecked(std::string_view control, bool checked) = 0;
};
