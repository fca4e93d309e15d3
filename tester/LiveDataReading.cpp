#include "tester/LiveDataReading.h"

#include <utility>

#include "measurement/DataDestination.h"
#include "measurement/DisplayTargets.h"

namespace {
constexpr int kCopiesKeptInFlight = 2;
}

TLiveDataReading::TLiveDataReading(const TListBox& selection, TDataDestination& destination,
                                   TReadStepMaker makeStep)
    : FSelection(selection), FDestination(destination), FMakeStep(std::move(makeStep)) {}

void TLiveDataReading::ReadOnce(const TExecute& execute) {
  std::unique_ptr<TSequenceList> list = ReadOnceList();
  if (list && list->Count() > 0) execute(std::move(list));
}

TLiveDataReading::TToggleResult TLiveDataReading::Toggle(const TExecute& execute) {
  if (FContReading) {
    Stop();
    return TToggleResult::Stopped;
  }
  return Start(execute) ? TToggleResult::Started : TToggleResult::Nothing;
}

bool TLiveDataReading::CopyAnswered(const TExecute& execute) {
  if (FCopiesInFlight > 0) --FCopiesInFlight;
  const bool shown = FStaleCopies == 0;
  if (!shown) --FStaleCopies;
  if (FContReading) TopUp(execute);
  return shown;
}

void TLiveDataReading::Reset() {
  FContReading = false;
  FContSequence.reset();
  FStaleCopies = FCopiesInFlight;
}

void TLiveDataReading::ConnectionEnded() {
  FContReading = false;
  FCopiesInFlight = 0;
  FStaleCopies = 0;
}

std::unique_ptr<TSequenceList> TLiveDataReading::ReadOnceList() {
  std::unique_ptr<TSequenceList> list = PrepareRead();
  if (list || !FContSequence) return list;
  list = FContSequence->Clone();
  list->FName = "";
  return list;
}

std::unique_ptr<TSequenceList> TLiveDataReading::PrepareRead() {
  if (FSelection.Count() == 0) {
    if (FContSequence) RegisterContSequence();
    return nullptr;
  }
  if (!FContReading) ClearDestination();
  return BuildFromSelection();
}

std::unique_ptr<TSequenceList> TLiveDataReading::BuildFromSelection() {
  return BuildTaggedList(SelectedGroups(FSelection), FDestination, FMakeStep);
}

void TLiveDataReading::SetContReadDataSeq() {
  if (std::unique_ptr<TSequenceList> built = PrepareRead()) FContSequence = std::move(built);
}

void TLiveDataReading::RegisterContSequence() {
  for (int i = 0; i < FContSequence->Count(); ++i) {
    TSequence& step = *FContSequence->Items(i);
    TagStep(step, *reinterpret_cast<TDataDescription*>(step.FData), FDestination);
  }
}

bool TLiveDataReading::Start(const TExecute& execute) {
  SetContReadDataSeq();
  if (!FContSequence || FContSequence->Count() == 0) return false;
  FContSequence->FName = kContReadData;
  FDestination.SelectDefaultSeries();
  FContReading = true;
  TopUp(execute);
  return true;
}

void TLiveDataReading::Stop() {
  FContReading = false;
  FDestination.CloseDataFiles();
  FContSequence.reset();
}

void TLiveDataReading::TopUp(const TExecute& execute) {
  for (int missing = kCopiesKeptInFlight - FCopiesInFlight; missing > 0; --missing)
    if (execute(FContSequence->Clone())) ++FCopiesInFlight;
}

void TLiveDataReading::ClearDestination() {
  FDestination.Clear();
  FStaleCopies = FCopiesInFlight;
}
