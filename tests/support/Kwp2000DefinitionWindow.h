// The KWP2000 tester's definitions on fake controls: the list boxes, grid, settings and log that
// a load fills, for tests and the fuzz build.
#pragma once

#include <string>

#include "kwp2000/Kwp2000Definitions.h"
#include "tests/support/FakeControlSettings.h"
#include "tests/support/FakeDisplayTargets.h"
#include "tests/support/RecordingLog.h"

namespace testing_support {

struct Kwp2000DefinitionWindow {
  explicit Kwp2000DefinitionWindow(const std::string& defDir)
      : defs({readAll, itemsReadAll, readSel, itemsAll, identGrid, settings, log},
             {status18, group18, group14, group17}, defDir) {}
  FakeListBox readAll, itemsReadAll, readSel, itemsAll, status18, group18, group14, group17;
  FakeGrid identGrid;
  FakeSettings settings;
  TRecordingLog log;
  TKwp2000Definitions defs;
};

}  // namespace testing_support
