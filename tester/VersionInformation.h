// The program's version strings (product, maker, file version), compiled in from the build and
// looked up through a function that tests can make fail.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tester {

// Version strings by name: "ProductName", "CompanyName", "FileVersion".
using TVersionStrings = std::map<std::string, std::string>;
// The program's version strings; nullopt when the program has no version information.
using TVersionLookup = std::function<std::optional<TVersionStrings>()>;

struct TVersionText {
  std::vector<std::string> aboutLines;  // one line per value found
  bool failed = false;                  // no version information, or a value missing
};

// "Product\t: ", "Author\t: " and "Version\t: " lines of the values that were found.
TVersionText VersionText(const TVersionLookup& lookup);

}  // namespace tester
