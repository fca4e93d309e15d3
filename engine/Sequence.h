// The request model: a step (TSequence), an owned list of steps (TSequenceList) and one unit of
// work for the communication worker (TSequenceObject) with its kind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SmallIntArray.h"

class TDataDestination;

// One request or response step.
class TSequence {
 public:
  // Service id (or block title) 0..255; any other id gives -1 and drops `params`.
  TSequence(int serviceId, std::unique_ptr<TSmallIntArray> params);
  // Up to four parameter bytes; the first one outside 0..255 ends the list.
  static std::unique_ptr<TSequence> CreateFromBytes(int serviceId, int16_t b1 = -1, int16_t b2 = -1,
                                                    int16_t b3 = -1, int16_t b4 = -1);
  // Copies every field but the arrival time, which is 0 in the clone.
  std::unique_ptr<TSequence> Clone() const;

  int GetTime() const { return FTime; }
  void SetTime(int timeMs) { FTime = timeMs; }
  int ParamCount() const { return FParams ? FParams->Count() : 0; }

  int32_t FServiceId = -1;
  std::unique_ptr<TSmallIntArray> FParams;
  int32_t FTime = 0;
  intptr_t FData = 0;                        // the window's value (a description), borrowed
  TDataDestination* FDestination = nullptr;  // borrowed
  std::string FName;
  int32_t FDestinationIndex = -1;
  bool FAppend = false;
};

// An ordered, named list of steps; null items are receive-only steps.
class TSequenceList {
 public:
  TSequenceList() = default;
  static std::unique_ptr<TSequenceList> CreateFromService(int serviceId,
                                                          std::unique_ptr<TSmallIntArray> params);
  static std::unique_ptr<TSequenceList> CreateWithStep(std::unique_ptr<TSequence> step);
  std::unique_ptr<TSequenceList> Clone() const;

  int Count() const { return static_cast<int>(items_.size()); }
  // Item at `index` (may be null); an index outside the list throws EListError.
  TSequence* Items(int index) const;
  void Add(std::unique_ptr<TSequence> step) { items_.push_back(std::move(step)); }
  // Inserts before `index` (0..Count()); otherwise throws EListError.
  void Insert(int index, std::unique_ptr<TSequence> step);
  // Replaces the item at `index` and hands back the one that stood there.
  std::unique_ptr<TSequence> Put(int index, std::unique_ptr<TSequence> step);

  std::string FName;

 private:
  void CheckIndex(int index, int limit) const;

  std::vector<std::unique_ptr<TSequence>> items_;
};

using TSequenceKind = uint8_t;
inline constexpr TSequenceKind skStartCommunication = 1;
inline constexpr TSequenceKind skExecuteSequence = 2;
inline constexpr TSequenceKind skStopCommunication = 3;

// One unit of work: a kind, the request list and the response list (both owned).
class TSequenceObject {
 public:
  explicit TSequenceObject(TSequenceKind kind) : FKind(kind) {}
  // The list is kept only for the kinds 1 to 3; otherwise it is freed.
  TSequenceObject(std::unique_ptr<TSequenceList> requests, TSequenceKind kind);
  static std::unique_ptr<TSequenceObject> CreateFromService(int serviceId,
                                                            std::unique_ptr<TSmallIntArray> params,
                                                            TSequenceKind kind);
  static std::unique_ptr<TSequenceObject> CreateWithStep(std::unique_ptr<TSequence> step,
                                                         TSequenceKind kind);

  void AddRequest(std::unique_ptr<TSequence> step);
  // With a request list and index < its count: a receive-only step at index + 1.
  void InsertEmptyRequest(int index);
  // With a request list and index < its count: `step` at index + 1; otherwise it is freed.
  void InsertRequest(int index, std::unique_ptr<TSequence> step);
  // With a request list and index < its count: replaces the step at index (the old one is freed).
  void SetRequest(int index, std::unique_ptr<TSequence> step);
  void AddResponse(std::unique_ptr<TSequence> step);

  int RequestCount() const { return CountOf(FRequests.get()); }
  int ResponseCount() const { return CountOf(FResponses.get()); }
  TSequence* GetRequest(int index) const { return StepOf(FRequests.get(), index); }
  TSequence* GetResponse(int index) const { return StepOf(FResponses.get(), index); }
  bool HasRequest(int index) const { return GetRequest(index) != nullptr; }
  bool HasRequestList() const { return FRequests != nullptr; }
  int RequestServiceId(int index) const;
  int ResponseServiceId(int index) const;
  TSmallIntArray* RequestParams(int index) const;
  TSmallIntArray* ResponseParams(int index) const;
  int RequestParamCount(int index) const;
  int ResponseParamCount(int index) const;
  int ResponseTime(int index) const;
  void SetResponseTime(int index, int timeMs);
  TSequenceKind GetKind() const { return FKind; }
  std::string GetName() const { return FRequests ? FRequests->FName : std::string(); }
  TSequenceList* Requests() const { return FRequests.get(); }
  TSequenceList* Responses() const { return FResponses.get(); }

 private:
  static int CountOf(const TSequenceList* list) { return list ? list->Count() : 0; }
  static TSequence* StepOf(const TSequenceList* list, int index);
  bool CanInsertAfter(int index) const;

  // Declared in this order so that the responses are freed before the requests.
  std::unique_ptr<TSequenceList> FRequests;
  std::unique_ptr<TSequenceList> FResponses;
  TSequenceKind FKind;
};
