// Connection controls for tests: records every setting the definition-file reader makes, as
// "control = value" lines, with the radio groups of the KWP2000 tester's connect tab.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tester/ControlSettings.h"

namespace testing_support {

struct FakeSettings : TControlSettings {
  void SetText(std::string_view control, const std::string& text) override {
    calls.push_back(std::string(control) + " = " + text);
  }
  int RadioItemCount(std::string_view control) const override {
    static const std::map<std::string, int, std::less<>> items = {{"RadioInit2000", 2},
                                                                  {"RadioGroupAddressMode", 2},
                                                                  {"RadioGroupHeaderType", 3},
                                                                  {"RadioGroupLengthInfo", 3}};
    return items.find(control)->second;
  }
  void SetItemIndex(std::string_view control, int index) override {
    calls.push_back(std::string(control) + " = " + std::to_string(index));
  }
  void SetChecked(std::string_view control, bool checked) override {
    calls.push_back(std::string(control) + (checked ? " = on" : " = off"));
  }
  std::vector<std::string> calls;
};

}  // namespace testing_support
