#include "tester/DefinitionFileList.h"

#include <filesystem>

#include "tester/DefinitionReader.h"

namespace tester {

std::vector<std::string> DefinitionFileNames(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    std::string name = entry->path().filename().string();
    if (HasDefExtension(name)) names.push_back(std::move(name));
  }
  return names;
}

}  // namespace tester
