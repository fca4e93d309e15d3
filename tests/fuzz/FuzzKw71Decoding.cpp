// Results of any shape and content (read as in FuzzResultSteps.h): the KW71/KW81 decoding logs
// them and routes their data to the destinations (the start's identification chain and chained
// blocks included) without reading outside their steps. In a request's flags byte bit 1 tags the
// step for the realtime destination and bit 2 gives it the description index 1, which is not
// registered; bit 3 of the first byte names the list "ContReadData".
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/ActivityLog.h"
#include "engine/Sequence.h"
#include "kw71/Kw71Decoding.h"
#include "kw71/Kw71Definitions.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "tester/ControlSettings.h"
#include "tests/fuzz/FuzzResultSteps.h"

namespace {

class NoLog : public TActivityLog {
 protected:
  void AppendLine(const std::string&) override {}
};

struct ListBox : TListBox {
  void AddObject(const std::string& text, intptr_t object) override {
    entries.emplace_back(text, object);
  }
  int Count() const override { return static_cast<int>(entries.size()); }
  std::string Text(int index) const override { return entries.at(index).first; }
  intptr_t Object(int index) const override { return entries.at(index).second; }
  bool Selected(int) const override { return false; }
  void SetSelected(int, bool) override {}
  void Clear() override { entries.clear(); }
  std::vector<std::pair<std::string, intptr_t>> entries;
};

struct Grid : TStringGrid {
  int RowCount() const override { return rows; }
  void SetRowCount(int count) override { rows = count; }
  void SetCell(int column, int row, const std::string& text) override {
    if (row >= rows) abort();  // a cell below the last row
    cells[{column, row}] = text;
  }
  int rows = 1;
  std::map<std::pair<int, int>, std::string> cells;
};

struct NoSettings : TControlSettings {
  void SetText(std::string_view, const std::string&) override {}
  int RadioItemCount(std::string_view) const override { return 0; }
  void SetItemIndex(std::string_view, int) override {}
  void SetChecked(std::string_view, bool) override {}
};

// The tester's definitions, loaded once from a file with an identification and a RAM group.
struct Tester {
  Tester() {
    char path[] = "/tmp/quobrix-fuzz-kw71-XXXXXX";
    folder = mkdtemp(path);
    std::ofstream(folder + "/main.def")
        << "REI_71, 0, 0, Ident, 3, A, 1, 0x01, B, 1, 0x02, C, 1, 0x6F;\n"
           "RAM_71, 1, 0x10, Ram, 2, X, 1, 0x01, Y, 1, 0x02;\n";
    definitions.Load(folder + "/main.def");
    identDestination.AddGrid(identGrid);
    realtimeDestination.AddGrid(realtimeGrid);
  }
  // Each input starts with the RAM group registered afresh, so chart points do not pile up.
  void RegisterRealtime() {
    realtimeDestination.Clear();
    realtimeDestination.AddDescription(*definitions.RealtimeDescriptions().front());
  }
  ~Tester() { std::filesystem::remove_all(folder); }

  std::string folder;
  ListBox readAll, itemsReadAll, readSel, itemsAll;
  Grid identGrid, realtimeGrid;
  NoSettings settings;
  NoLog log;
  TKw71Definitions definitions{{readAll, itemsReadAll, readSel, itemsAll, identGrid, settings, log},
                               ""};
  TDataDestination identDestination;
  TDataDestination realtimeDestination;
  TKw71DecodingRules rules{definitions, identDestination};
  TResultDecoder decoder{rules, log};
};

constexpr uint8_t kTagged = 2;
constexpr uint8_t kUnregisteredIndex = 4;
constexpr uint8_t kContinuousRead = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Tester tester;
  tester.RegisterRealtime();
  TSequenceObject object(skExecuteSequence);
  AddFuzzSteps(data, size, object, [](TSequence& step, uint8_t flags) {
    if (!(flags & kTagged)) return;
    step.FName = kDataWithDestination;
    step.FDestination = &tester.realtimeDestination;
    step.FDestinationIndex = (flags & kUnregisteredIndex) ? 1 : 0;
  });
  if (size > 0 && (data[0] & kContinuousRead) && object.HasRequestList())
    object.Requests()->FName = kContReadData;
  tester.decoder.Decode(object);
  return 0;
}
