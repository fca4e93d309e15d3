// Entry of the test programs that emulate USB devices. umockdev's preload library has to be in
// place when the process starts, so a program started without it starts itself again under
// umockdev-wrapper.
#include <gmock/gmock.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

bool PreloadActive() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

// Under AddressSanitizer the preload library comes before the sanitizer's runtime, which the
// sanitizer refuses unless told otherwise.
void AllowPreloadBeforeSanitizer() {
  const char* options = std::getenv("ASAN_OPTIONS");
  std::string all = options != nullptr ? std::string(options) + ":" : std::string();
  setenv("ASAN_OPTIONS", (all + "verify_asan_link_order=0").c_str(), 1);
}

[[noreturn]] void RestartUnderWrapper(int argc, char** argv) {
  AllowPreloadBeforeSanitizer();
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::vector<char*> args{const_cast<char*>("umockdev-wrapper"), const_cast<char*>(self.c_str())};
  for (int i = 1; i < argc; ++i)
    args.push_back(argv[i]);
  args.push_back(nullptr);
  execvp(args[0], args.data());
  std::perror("umockdev-wrapper (package umockdev)");
  std::exit(EXIT_FAILURE);
}

}  // namespace

// ThreadSanitizer cannot follow the synchronisation inside GLib (futex-based locks, in umockdev's
// worker thread) and inside libusb's completion of synchronous transfers; what it reports there
// is theirs, not ours.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libglib-2.0.so\nrace:libgobject-2.0.so\nrace:libumockdev.so\nrace:libusb-1.0.so\n";
}

int main(int argc, char** argv) {
  if (!PreloadActive()) RestartUnderWrapper(argc, argv);
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
