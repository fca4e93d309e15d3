// The single KWP2000 service requests the tester's buttons send by hand, told apart by the
// button's tag: the activity-log line of each and the request built from the mask fields.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Sequence.h"

struct TServiceParameter {
  enum class TKind { Constant, FieldByte, FieldWord };  // a word is sent high byte first
  TKind Kind;
  int Constant = 0;
  const char* Field = "";  // object name of the mask field
};

struct TSingleService {
  int Tag;
  const char* Line;
  int ServiceId;  // -1: nothing is sent
  std::vector<TServiceParameter> Parameters;
};

// The service of a tag; a tag without one gives the "No Action" entry.
const TSingleService& SingleServiceFor(int tag);

// Reads the mask fields in the order of the parameters (`fieldText` gives a field's text by its
// object name; a text that is not a number throws the conversion error) and returns the request
// as one untagged step; null for a service that sends nothing.
std::unique_ptr<TSequenceList> SingleServiceRequest(
    const TSingleService& service, const std::function<std::string(const char*)>& fieldText);
