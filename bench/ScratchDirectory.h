// A folder of the benchmark run's own in the temporary folder, made current while it exists, so
// that runs side by side never share a byte log or a definition file.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace bench {

class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& name) : previous_(std::filesystem::current_path()) {
    namespace fs = std::filesystem;
    path_ = fs::temp_directory_path() / ("quobrix-" + name + "-" + std::to_string(getpid()));
    fs::create_directories(path_ / "Def");
    fs::current_path(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The folder with a trailing '/', as the worker takes its log directory.
  std::string Directory() const { return path_.string() + "/"; }
  std::string DefDir() const { return (path_ / "Def").string() + "/"; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace bench
