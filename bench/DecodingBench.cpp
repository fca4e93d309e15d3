// Decoding speed: a typical live-data group of 8 items with standard and free formulas, an
// enumeration and a bit mask, and free formula evaluations alone.
#include <benchmark/benchmark.h>

#include "measurement/DataDescription.h"
#include "measurement/FormulaInt.h"
#include "measurement/NamedLists.h"

namespace {

// Answer of a local-identifier read: 8 items in 10 bytes.
constexpr const char* kGroup =
    "RDBLI_2000, 0x21, 0x01, \"Engine basics\", 8,"
    " \"Engine speed\", 7, 0x02, 0x90, 0x06, 0xA0, 0x19, 0xA0, 0x33,"     // x * 0.25 rpm
    " Coolant, 9, 0x01, 0x90, 0x00, 0xA0, 0x4B, 0x08, 0x30, 0xA0, 0x17,"  // 0.75 x - 48 degC
    " \"Vehicle speed\", 3, 0x01, 0xA0, 0x30,"
    " Throttle, 3, 0x01, \"#formula \"\"x * 100 / 255\"\"\", \"#prefixunit %\","
    " Battery, 7, 0x01, 0x90, 0x06, 0x90, 0x01, 0xA0, 0x0E,"  // x * 0.1 V
    " Gear, 2, 0xB1, \"#list Gear\","
    " Flags, 2, 0x31, \"#list Flags\","
    " Lambda, 2, 0x12, \"#formula \"\"x / 32768 + 1\"\"\"";

TNamedLists MakeLists() {
  TNamedLists lists;
  TNamedList& gear = lists.FindOrAdd("Gear");
  const char* gears[] = {"neutral", "first", "second", "third", "fourth", "fifth"};
  for (int id = 0; id < 6; ++id)
    gear.Add(id, {gears[id]});
  TNamedList& flags = lists.FindOrAdd("Flags");
  flags.Add(1, {"0x01", "idle"});
  flags.Add(2, {"0x02", "full load"});
  flags.Add(0, {"0x04", "closed loop"});
  flags.Add(8, {"0x08", "fan on"});
  return lists;
}

void DecodeGroup(benchmark::State& state) {
  const TNamedLists lists = MakeLists();
  TDataDescription description(kGroup, &lists);
  if (description.GetTitle().starts_with("ERROR")) state.SkipWithError("group not understood");
  const TSmallIntArray answers[] = {{0x0C, 0x80, 0x7A, 0x32, 0x40, 0x8C, 0x03, 0x09, 0x7F, 0xC0},
                                    {0x1F, 0x40, 0x90, 0x64, 0xFF, 0x8A, 0x04, 0x0B, 0x80, 0x20}};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(description.Decode(answers[i++ & 1], false).data());
  }
  state.SetItemsProcessed(state.iterations() * description.Count());
}
BENCHMARK(DecodeGroup);

void EvaluateFormula(benchmark::State& state) {
  TFormulaInt formula("(x - 40) * 0.5 + x / 2");
  double x = 0;
  double result = 0;
  for (auto _ : state) {
    formula.Calculate(x, result);
    benchmark::DoNotOptimize(result);
    x += 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(EvaluateFormula);

}  // namespace

BENCHMARK_MAIN();
