// Each tester's definitions on fake controls: the list boxes, grid, settings and log that a load
// fills, for tests and the fuzz build.
#pragma once

#include <string>

#include "kw71/Kw71Definitions.h"
#include "kwp2000/Kwp2000Definitions.h"
#include "tests/support/FakeControlSettings.h"
#include "tests/support/FakeDisplayTargets.h"
#include "tests/support/RecordingLog.h"

namespace testing_support {

// What every tester's definitions fill.
struct DefinitionControls {
  FakeListBox readAll, itemsReadAll, readSel, itemsAll;
  FakeGrid identGrid;
  FakeSettings settings;
  TRecordingLog log;

  TDefinitionControls Controls() {
    return {readAll, itemsReadAll, readSel, itemsAll, identGrid, settings, log};
  }
};

struct Kwp2000DefinitionWindow : DefinitionControls {
  explicit Kwp2000DefinitionWindow(const std::string& defDir)
      : defs(Controls(), {status18, group18, group14, group17}, defDir) {}
  FakeListBox status18, group18, group14, group17;
  TKwp2000Definitions defs;
};

struct Kw71DefinitionWindow : DefinitionControls {
  explicit Kw71DefinitionWindow(const std::string& defDir) : defs(Controls(), defDir) {}
  TKw71Definitions defs;
};

}  // namespace testing_support
