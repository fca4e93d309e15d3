#include "tester/VersionInformation.h"

#include <array>
#include <utility>

namespace tester {

TVersionText VersionText(const TVersionLookup& lookup) {
  static constexpr std::array<std::pair<const char*, const char*>, 3> kLines{{
      {"ProductName", "Product\t: "},
      {"CompanyName", "Author\t: "},
      {"FileVersion", "Version\t: "},
  }};
  TVersionText text;
  const std::optional<TVersionStrings> strings = lookup ? lookup() : std::nullopt;
  if (!strings) {
    text.failed = true;
    return text;
  }
  for (const auto& [name, prefix] : kLines) {
    const auto found = strings->find(name);
    if (found == strings->end()) {
      text.failed = true;
      continue;
    }
    text.aboutLines.push_back(prefix + found->second);
  }
  return text;
}

}  // namespace tester
