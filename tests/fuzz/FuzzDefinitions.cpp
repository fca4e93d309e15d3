// Definition files of any content, loaded by either tester's definitions from a temporary Def/
// folder: up to four files that may include each other (by name, in other letter case, by path),
// with the directives and either program's keywords. Each input is loaded twice: both loads read
// the same files once each and write the same lines, and the group lists point at what the
// definitions hold. A dictionary of the language helps: -dict=tests/fuzz/definitions.dict.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzTempFolder.h"
#include "measurement/CommaText.h"
#include "measurement/DataDescription.h"
#include "platform/Exceptions.h"
#include "tests/support/DefinitionWindows.h"

namespace {

namespace fs = std::filesystem;
using fuzz::TempFolder;

const char* const kFileNames[] = {"main.def", "a.def", "b.def", "C.DEF"};

// The definition folder of this process.
const std::string& DefDir() {
  static const TempFolder root;
  static const std::string defDir = [] {
    fs::create_directory(root.Path() + "Def");
    return root.Path() + "Def/";
  }();
  return defDir;
}

bool ReadOnce(const std::vector<std::string>& files) {
  for (size_t i = 0; i < files.size(); ++i) {
    for (size_t k = i + 1; k < files.size(); ++k) {
      if (CompareText(files[i], files[k]) == 0) return false;
    }
  }
  return true;
}

// Every group in the list box is a description the definitions hold, and every item line one of
// its items.
template <typename Program>
bool Consistent(const Program& p) {
  const TDescriptionList& groups = p.defs.RealtimeDescriptions();
  if (p.readAll.Count() != static_cast<int>(groups.size())) return false;
  int line = 0;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (p.readAll.Object(static_cast<int>(i)) != reinterpret_cast<intptr_t>(groups[i].get()))
      return false;
    for (int j = 0; j < groups[i]->Count(); ++j, ++line) {
      if (line >= p.itemsReadAll.Count() ||
          p.itemsReadAll.Object(line) != reinterpret_cast<intptr_t>(groups[i]->Objects(j)))
        return false;
    }
  }
  return line == p.itemsReadAll.Count();
}

template <typename Program>
void LoadTwice(const std::string& defDir) {
  Program program(defDir);
  std::vector<std::string> firstLines;
  std::vector<std::string> firstFiles;
  for (int load = 0; load < 2; ++load) {
    program.log.Clear();
    try {
      program.defs.Load(defDir + kFileNames[0]);
    } catch (const plat::Exception&) {
      // List, conversion and file errors stop a load; what was filed before stays.
    }
    if (!ReadOnce(program.defs.ReadFiles()) || !Consistent(program)) __builtin_trap();
    if (load == 0) {
      firstLines = program.log.Lines();
      firstFiles = program.defs.ReadFiles();
    } else if (program.log.Lines() != firstLines || program.defs.ReadFiles() != firstFiles) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& defDir = DefDir();
  FuzzedDataProvider input(data, size);
  const size_t files = input.ConsumeIntegralInRange<size_t>(1, std::size(kFileNames));
  const bool kw71 = input.ConsumeBool();
  for (size_t i = 0; i < std::size(kFileNames); ++i) {
    const std::string path = defDir + kFileNames[i];
    if (i >= files) {
      fs::remove(path);
      continue;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << input.ConsumeRandomLengthString(size);
  }
  if (kw71)
    LoadTwice<testing_support::Kw71DefinitionWindow>(defDir);
  else
    LoadTwice<testing_support::Kwp2000DefinitionWindow>(defDir);
  return 0;
}
