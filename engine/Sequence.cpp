#include "engine/Sequence.h"

#include "platform/Exceptions.h"

namespace {
bool IsByte(int value) { return value >= 0 && value <= 255; }
bool IsQueuedKind(TSequenceKind kind) { return kind >= 1 && kind <= 3; }
}  // namespace

TSequence::TSequence(int serviceId, std::unique_ptr<TSmallIntArray> params) {
  if (!IsByte(serviceId)) return;
  FServiceId = serviceId;
  FParams = std::move(params);
}

std::unique_ptr<TSequence> TSequence::CreateFromBytes(int serviceId, int16_t b1, int16_t b2,
                                                      int16_t b3, int16_t b4) {
  std::unique_ptr<TSmallIntArray> params;
  if (IsByte(b1)) {
    params = std::make_unique<TSmallIntArray>();
    for (int16_t b : {b1, b2, b3, b4}) {
      if (!IsByte(b)) break;
      params->Add(b);
    }
  }
  return std::make_unique<TSequence>(serviceId, std::move(params));
}

std::unique_ptr<TSequence> TSequence::Clone() const {
  auto copy = std::make_unique<TSequence>(
      FServiceId, FParams ? std::make_unique<TSmallIntArray>(*FParams) : nullptr);
  copy->FData = FData;
  copy->FDestination = FDestination;
  copy->FName = FName;
  copy->FDestinationIndex = FDestinationIndex;
  copy->FAppend = FAppend;
  return copy;
}

std::unique_ptr<TSequenceList> TSequenceList::CreateFromService(
    int serviceId, std::unique_ptr<TSmallIntArray> params) {
  return CreateWithStep(std::make_unique<TSequence>(serviceId, std::move(params)));
}

std::unique_ptr<TSequenceList> TSequenceList::CreateWithStep(std::unique_ptr<TSequence> step) {
  auto list = std::make_unique<TSequenceList>();
  list->Add(std::move(step));
  return list;
}

std::unique_ptr<TSequenceList> TSequenceList::Clone() const {
  auto copy = std::make_unique<TSequenceList>();
  copy->FName = FName;
  for (const auto& item : items_) copy->Add(item ? item->Clone() : nullptr);
  return copy;
}

void TSequenceList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) plat::ThrowListIndexError(index);
}

TSequence* TSequenceList::Items(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].get();
}

void TSequenceList::Insert(int index, std::unique_ptr<TSequence> step) {
  CheckIndex(index, Count() + 1);
  items_.insert(items_.begin() + index, std::move(step));
}

std::unique_ptr<TSequence> TSequenceList::Put(int index, std::unique_ptr<TSequence> step) {
  CheckIndex(index, Count());
  std::swap(items_[static_cast<size_t>(index)], step);
  return step;
}

TSequenceObject::TSequenceObject(std::unique_ptr<TSequenceList> requests, TSequenceKind kind)
    : FKind(kind) {
  if (IsQueuedKind(kind)) FRequests = std::move(requests);
}

std::unique_ptr<TSequenceObject> TSequenceObject::CreateFromService(
    int serviceId, std::unique_ptr<TSmallIntArray> params, TSequenceKind kind) {
  if (!IsQueuedKind(kind)) return std::make_unique<TSequenceObject>(kind);
  return std::make_unique<TSequenceObject>(
      TSequenceList::CreateFromService(serviceId, std::move(params)), kind);
}

std::unique_ptr<TSequenceObject> TSequenceObject::CreateWithStep(std::unique_ptr<TSequence> step,
                                                                 TSequenceKind kind) {
  if (!IsQueuedKind(kind)) return std::make_unique<TSequenceObject>(kind);
  return std::make_unique<TSequenceObject>(TSequenceList::CreateWithStep(std::move(step)), kind);
}

void TSequenceObject::AddRequest(std::unique_ptr<TSequence> step) {
  if (!FRequests) FRequests = std::make_unique<TSequenceList>();
  FRequests->Add(std::move(step));
}

bool TSequenceObject::CanInsertAfter(int index) const {
  return FRequests && index >= 0 && index < FRequests->Count();
}

void TSequenceObject::InsertEmptyRequest(int index) {
  if (CanInsertAfter(index)) FRequests->Insert(index + 1, nullptr);
}

void TSequenceObject::InsertRequest(int index, std::unique_ptr<TSequence> step) {
  if (CanInsertAfter(index)) FRequests->Insert(index + 1, std::move(step));
}

void TSequenceObject::SetRequest(int index, std::unique_ptr<TSequence> step) {
  if (CanInsertAfter(index)) FRequests->Put(index, std::move(step));
}

void TSequenceObject::AddResponse(std::unique_ptr<TSequence> step) {
  if (!FResponses) FResponses = std::make_unique<TSequenceList>();
  FResponses->Add(std::move(step));
}

TSequence* TSequenceObject::StepOf(const TSequenceList* list, int index) {
  if (!list || index < 0 || index >= list->Count()) return nullptr;
  return list->Items(index);
}

int TSequenceObject::RequestServiceId(int index) const {
  const TSequence* step = GetRequest(index);
  return step ? step->FServiceId : -1;
}

int TSequenceObject::ResponseServiceId(int index) const {
  const TSequence* step = GetResponse(index);
  return step ? step->FServiceId : -1;
}

TSmallIntArray* TSequenceObject::RequestParams(int index) const {
  const TSequence* step = GetRequest(index);
  return step ? step->FParams.get() : nullptr;
}

TSmallIntArray* TSequenceObject::ResponseParams(int index) const {
  const TSequence* step = GetResponse(index);
  return step ? step->FParams.get() : nullptr;
}

int TSequenceObject::RequestParamCount(int index) const {
  const TSequence* step = GetRequest(index);
  return step ? step->ParamCount() : 0;
}

int TSequenceObject::ResponseParamCount(int index) const {
  const TSequence* step = GetResponse(index);
  return step ? step->ParamCount() : 0;
}

int TSequenceObject::ResponseTime(int index) const {
  const TSequence* step = GetResponse(index);
  return step ? step->FTime : 0;
}

void TSequenceObject::SetResponseTime(int index, int timeMs) {
  if (TSequence* step = GetResponse(index)) step->FTime = timeMs;
}
