#include "tester/DefinitionFileList.h"

#include <filesystem>

#include "measurement/NamedLists.h"

namespace tester {

std::vector<std::string> DefinitionFileNames(const std::string& directory) {
  constexpr std::string_view kExtension = ".def";
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.size() >= kExtension.size() &&
        CompareText(std::string_view(name).substr(name.size() - kExtension.size()), kExtension) ==
            0)
      names.push_back(name);
  }
  return names;
}

}  // namespace tester
