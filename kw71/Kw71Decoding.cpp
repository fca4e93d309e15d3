#include "kw71/Kw71Decoding.h"

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "kw71/Kw71BlockTitles.h"
#include "kw71/Kw71Requests.h"
#include "measurement/Cp1252.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "platform/Conversions.h"
#include "platform/SmallIntArray.h"
#include "tester/Definitions.h"
#include "tester/StepBytes.h"
#include "tester/TaggedRequests.h"

namespace {

constexpr int kNoStep = -1;
constexpr int kStopCommunication = 0x06;
constexpr int kAcknowledge = 0x09;
constexpr int kErrorBlock = 0x0A;
constexpr int kFaultCodes = 0xFC;
// `label` and the byte list, or `label` + "empty" without data.
std::string ByteListOrEmpty(const std::string& label, const TStepBytes& d) {
  return label + (d.Count() > 0 ? d.ListFrom(0) : std::string("empty"));
}

// --- request lines ---------------------------------------------------------------------------

struct TRequestCaption {
  int title;
  std::string (*text)(const TStepBytes& p);
};

const TRequestCaption kRequestCaptions[] = {
    {kNoStep, [](const TStepBytes&) { return std::string("ID after 5baud init: "); }},
    {kKw71ReadIdentification,
     [](const TStepBytes&) { return std::string("Read identification :"); }},
    {kKw71ReadRam, [](const TStepBytes& p) { return ByteListOrEmpty("Read RAM : ", p); }},
    {kKw71ClearDtc, [](const TStepBytes&) { return std::string("Clear diagnostic faultcodes :"); }},
    {kStopCommunication, [](const TStepBytes&) { return std::string("Stop connection to ECU :"); }},
    {kKw71ReadDtc, [](const TStepBytes&) { return std::string("Read diagnostic faultcodes :"); }},
    {kKw71ReadAdc,
     [](const TStepBytes& p) {
       return "Read ADC channel " + (p.Count() > 0 ? "0x" + p.Hex(0) : std::string()) + " :";
     }},
};

// --- response lines --------------------------------------------------------------------------

// The characters of the data bytes, a zero byte adding none.
std::string IdentificationText(const TStepBytes& d) {
  std::string text;
  for (int i = 0; i < d.Count(); ++i)
    if (d[i] != 0) text += static_cast<char>(d[i]);
  return text;
}

TLogLines IdentificationLines(const TStepBytes& d) {
  if (d.Count() == 0) return {"ID : empty , "};
  const std::string text = IdentificationText(d);
  const std::string reversed(text.rbegin(), text.rend());
  return {"ID : " + Cp1252ToUtf8(text) + " , " + Cp1252ToUtf8(reversed)};
}

TLogLines ValueLines(const TStepBytes& d) {
  if (d.Count() < 2) return {"Value : no data"};
  return {"Value : 0x" + plat::IntToHex(static_cast<uint64_t>(d[0] * 256 + d[1]), 2)};
}

const char* FaultTypeText(int type) {
  static const char* const kTexts[] = {
      "Open circuit",
      "Short circuit at GND",
      "Short circuit at V batt",
      "Open/Short circuit at GND",
      "Open/Short circuit at V batt",
      "Too low value",
      "Too high value",
      "Constant value",
      "Plausibility",
  };
  return type >= 1 && type <= static_cast<int>(std::size(kTexts)) ? kTexts[type - 1] : "unknown";
}

constexpr int kFaultRecordBytes = 5;

TLogLines FaultCodeLines(const TStepBytes& d) {
  std::string received = "Bytes received:";
  for (int i = 0; i < d.Count(); ++i)
    received += " " + d.Hex(i);
  TLogLines lines{received};
  if (d.Count() == 1 && d[0] == 0) lines.push_back("No faultcodes");
  for (int first = 0; first + kFaultRecordBytes <= d.Count(); first += kFaultRecordBytes) {
    const int type = d[first + 1] & 0x1F;
    lines.push_back("DTC: 0x" + d.Hex(first) + " = " + std::to_string(d[first]));
    lines.push_back("     state : " + std::to_string(d[first + 1] >> 5));
    lines.push_back("     type : 0x" + HexByte(type) + " " + FaultTypeText(type));
    lines.push_back("     condition1 : 0x" + d.Hex(first + 2));
    lines.push_back("     condition2 : 0x" + d.Hex(first + 3));
    lines.push_back("     counter : 0x" + d.Hex(first + 4));
  }
  return lines;
}

struct TResponseLines {
  int title;
  std::function<TLogLines(const TStepBytes& d, int requestTitle)> lines;
};

const std::vector<TResponseLines>& ResponseLineTable() {
  static const std::vector<TResponseLines> table{
      {kNoStep,
       [](const TStepBytes&, int requestTitle) {
         return TLogLines{requestTitle == kStopCommunication ? "OK, no response received"
                                                             : "no data received"};
       }},
      // An acknowledge answered by an acknowledge is the keep-alive.
      {kAcknowledge,
       [](const TStepBytes&, int requestTitle) {
         return requestTitle == kAcknowledge ? TLogLines{} : TLogLines{"OK"};
       }},
      {0xEF, [](const TStepBytes& d,
                int) { return TLogLines{ByteListOrEmpty("EEPROM  section  : ", d)}; }},
      {0xF6, [](const TStepBytes& d, int) { return IdentificationLines(d); }},
      {0xFB, [](const TStepBytes& d, int) { return ValueLines(d); }},
      {kFaultCodes, [](const TStepBytes& d, int) { return FaultCodeLines(d); }},
      {0xFD, [](const TStepBytes& d, int) { return TLogLines{ByteListOrEmpty("ROM : ", d)}; }},
      {0xFE, [](const TStepBytes& d, int) { return TLogLines{ByteListOrEmpty("RAM : ", d)}; }},
  };
  return table;
}

// A chained block continues the answer of the block before it when both have the same chain title.
bool ContinuesAt(const TSequenceObject& object, int next) {
  const int title = object.ResponseServiceId(next - 1);
  return IsKw71ChainTitle(title) && next < object.RequestCount() && next < object.ResponseCount() &&
         object.ResponseServiceId(next) == title;
}

}  // namespace

TKw71DecodingRules::TKw71DecodingRules(const TDefinitions& definitions,
                                       TDataDestination& identDestination)
    : definitions_(definitions), identDestination_(identDestination) {}

TLogLines TKw71DecodingRules::RequestLines(const TSequenceObject& object, int index) const {
  const int title = object.RequestServiceId(index);
  if (title == kAcknowledge) return {};
  for (const TRequestCaption& entry : kRequestCaptions)
    if (entry.title == title) return {"", entry.text(TStepBytes(object.RequestParams(index)))};
  return {"", "Request: 0x" + HexByte(title)};
}

TLogLines TKw71DecodingRules::NegativeLines(const TSequenceObject& object, int index) const {
  if (object.ResponseServiceId(index) != kErrorBlock) return {};
  return {"ERROR"};
}

TLogLines TKw71DecodingRules::ResponseLines(const TSequenceObject& object, int index) const {
  const int title = object.ResponseServiceId(index);
  const TStepBytes d(object.ResponseParams(index));
  for (const TResponseLines& entry : ResponseLineTable())
    if (entry.title == title) return entry.lines(d, object.RequestServiceId(index));
  return DumpLines(title, d);
}

TSequence* TKw71DecodingRules::RoutingStep(TSequenceObject& object, int index) {
  RouteStartAnswer(object, index);
  TSequence* request = object.GetRequest(index);
  return IsTagged(request) ? request : nullptr;
}

// The blocks after the 5-baud start answer the receive-only first step: it becomes an
// identification request for the first identification description, so they reach the
// identification grid. Only that step: a response beyond the request list is no start answer.
void TKw71DecodingRules::RouteStartAnswer(TSequenceObject& object, int index) {
  if (index != 0 || object.RequestCount() == 0 || object.HasRequest(0)) return;
  const TDescriptionList& descriptions = definitions_.IdentDescriptions();
  if (descriptions.empty()) return;
  identDestination_.Clear();
  std::unique_ptr<TSequence> step = TSequence::CreateFromBytes(kKw71ReadIdentification);
  TagStep(*step, *descriptions.front(), identDestination_);
  object.SetRequest(0, std::move(step));
}

// Every data byte goes to the destination; a block without data is neither routed nor continued.
std::unique_ptr<TSmallIntArray> TKw71DecodingRules::RoutedData(const TSequenceObject& object,
                                                               int index) const {
  const TSmallIntArray* data = object.ResponseParams(index);
  if (!data || data->Count() == 0) return nullptr;
  auto copy = std::make_unique<TSmallIntArray>();
  for (int i = 0; i < data->Count(); ++i)
    copy->Add(data->Get(i));
  return copy;
}

// The acknowledge request that fetched the next block of a chain carries the destination on,
// marked to append that block to this one.
void TKw71DecodingRules::BeforeRouting(TSequenceObject& object, int index,
                                       const TSequence& request) {
  const int next = index + 1;
  if (!ContinuesAt(object, next)) return;
  TSequence* acknowledge = object.GetRequest(next);
  if (!acknowledge) return;
  acknowledge->FName = kDataWithDestination;
  acknowledge->FAppend = true;
  acknowledge->FDestination = request.FDestination;
  acknowledge->FDestinationIndex = request.FDestinationIndex;
}
