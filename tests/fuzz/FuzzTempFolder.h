// A folder of its own under the system's temporary directory for one fuzzer process, removed
// with everything in it when the process ends normally.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace fuzz {

class TempFolder {
 public:
  TempFolder() {
    path_ = (std::filesystem::temp_directory_path() / "quobrix-fuzz-XXXXXX").string();
    if (!mkdtemp(path_.data())) __builtin_trap();
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder with a trailing '/'.
  std::string Path() const { return path_ + "/"; }

 private:
  std::string path_;
};

}  // namespace fuzz
