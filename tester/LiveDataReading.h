// Reading the selected live-data groups, once or continuously, for both testers.
//
// Continuous reading keeps a master list (FContSequence) that never leaves this object and hands
// the engine copies of it named "ContReadData": two in flight at any time, each answered copy
// replaced by a fresh one while reading is on. Counting the copies in flight keeps it at two when
// reading is stopped and started again before the earlier copies came back. Answers come back in
// the order the copies were queued, so the copies in flight when the destination is cleared are
// the next ones answered: their indexes name descriptions of the earlier registration, and they
// are not shown. A read once builds a list of its own, so nothing handed to the engine is ever
// used here again. Reading or starting the master list clears nothing: the descriptions the
// destination lost are registered after those it holds.
#pragma once

#include <functional>
#include <memory>

#include "engine/Sequence.h"
#include "tester/RequestNames.h"
#include "tester/TaggedRequests.h"

class TDataDestination;
class TListBox;

class TLiveDataReading {
 public:
  // Hands a list to the engine; false when it was refused and stays with the caller.
  using TExecute = std::function<bool(std::unique_ptr<TSequenceList>&&)>;
  enum class TToggleResult { Nothing, Started, Stopped };

  // All borrowed: the group selection (objects: descriptions) and the realtime destination.
  TLiveDataReading(const TListBox& selection, TDataDestination& destination,
                   TReadStepMaker makeStep);

  // Reads the selected groups once (with an empty selection, a copy of the master list kept).
  // While continuous reading runs the destination is not cleared, so the copies in flight keep
  // their descriptions' indexes.
  void ReadOnce(const TExecute& execute);
  // Stops continuous reading when it is on, otherwise starts it from the selection (or, with an
  // empty selection, from the master list kept after the connection ended).
  TToggleResult Toggle(const TExecute& execute);
  // A result of a "ContReadData" list was taken from the response queue: while reading is on a
  // fresh copy replaces it. False when its answers are not to be shown.
  bool CopyAnswered(const TExecute& execute);
  // Before the descriptions are freed: reading off, the master list freed, and none of the
  // copies in flight shown.
  void Reset();
  // The worker is gone with every copy it held; the master list stays.
  void ConnectionEnded();

  bool IsOn() const { return FContReading; }
  const TSequenceList* ContSequence() const { return FContSequence.get(); }
  int CopiesInFlight() const { return FCopiesInFlight; }

 private:
  // The list a read once hands over: built from the selection, or with an empty selection a
  // copy of the master list; null when there is neither.
  std::unique_ptr<TSequenceList> ReadOnceList();
  // Gets the destination ready for a read. With a selection: clears it unless continuous reading
  // runs, and returns the list built from the selection. With an empty selection: registers the
  // master list's descriptions it lost, and returns null.
  std::unique_ptr<TSequenceList> PrepareRead();
  std::unique_ptr<TSequenceList> BuildFromSelection();
  // Makes the master list and the destination agree before a start.
  void SetContReadDataSeq();
  // Registers the master list's descriptions that the destination does not hold (a read once
  // built from a selection cleared it) and points the steps at their indexes there.
  void RegisterContSequence();
  bool Start(const TExecute& execute);
  void Stop();
  void TopUp(const TExecute& execute);
  void ClearDestination();

  const TListBox& FSelection;
  TDataDestination& FDestination;
  TReadStepMaker FMakeStep;
  std::unique_ptr<TSequenceList> FContSequence;
  bool FContReading = false;
  int FCopiesInFlight = 0;
  int FStaleCopies = 0;  // the next answered copies that are not shown
};
