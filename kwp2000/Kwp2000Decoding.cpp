#include "kwp2000/Kwp2000Decoding.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>

#include "engine/Kwp2000Protocol2.h"
#include "measurement/Cp1252.h"
#include "platform/SmallIntArray.h"
#include "tester/StepBytes.h"
#include "tester/StringObjectList.h"

namespace {

constexpr int kNoStep = -1;
constexpr int kNegativeResponse = TKwp2000Protocol::kNegativeResponse;
constexpr int kPositiveAnswerOffset = 0x40;

using TLinesOf = std::function<TLogLines(const TStepBytes& data)>;

// --- request lines ---------------------------------------------------------------------------

struct TRequestLine {
  int serviceId;
  int needs;  // parameter bytes the line reads
  std::string (*text)(const TStepBytes& p);
};

const TRequestLine kRequestLines[] = {
    {0x10, 1, [](const TStepBytes& p) { return "Send: Set Session Mode : " + p.Hex(0); }},
    {0x14, 2, [](const TStepBytes& p) { return "Send: Clear DTC's, group = " + p.Hex(0, 1); }},
    {0x18, 3,
     [](const TStepBytes& p) {
       return "Send: Read DTC by Status : " + p.Hex(0) + ", Group of DTC's : " + p.Hex(1, 2);
     }},
    {0x1A, 1, [](const TStepBytes& p) { return "Send: request ID, subfunction : " + p.Hex(0); }},
    {0x21, 1, [](const TStepBytes& p) { return "Send: Read data by local ID, ID = " + p.Hex(0); }},
    {0x22, 2,
     [](const TStepBytes& p) { return "Send: Read data by common ID, ID = " + p.Hex(0, 1); }},
    {0x23, 4,
     [](const TStepBytes& p) {
       return "Send: Read memory : " + p.Hex(0) + "." + p.Hex(1) + p.Hex(2) + " " + p.Hex(3);
     }},
    {0x81, 0, [](const TStepBytes&) { return std::string("Send: Start communication"); }},
    {0x82, 0, [](const TStepBytes&) { return std::string("Send: Stop communication"); }},
    {kNoStep, 0, [](const TStepBytes&) { return std::string("no data send"); }},
};

// --- negative responses ----------------------------------------------------------------------

struct TCodeText {
  int code;
  const char* text;
};

const TCodeText kNegativeCodes[] = {
    {0x00, "Reserved By Document"},
    {0x10, "General Reject"},
    {0x11, "Service Not Supported"},
    {0x12, "Subfunction Not Supported - Invalid Format"},
    {0x21, "Busy - Repeat Request"},
    {0x22, "Conditions Not Correct Or Request Sequence Error"},
    {0x23, "Routine Not Complete Or Service In Progress"},
    {0x31, "Request Out Of Range"},
    {0x33, "Security Access Denied - Security Access Requested"},
    {0x35, "Invalid Key"},
    {0x36, "Exceed Number Of Attempts"},
    {0x37, "Required Time Delay Not Expired"},
    {0x40, "Download Not Accepted"},
    {0x41, "Improper Download Type"},
    {0x42, "Can Not Download To Specified Address"},
    {0x43, "Can Not Download Number Of Bytes Requested"},
    {0x50, "Upload Not Accepted"},
    {0x51, "Impoper Upload Type"},
    {0x52, "Can Not Upload From Specified Address"},
    {0x53, "Can Not Upload Number of Bytes Requested"},
    {0x71, "Transfer Suspended"},
    {0x72, "Transfer Aborted"},
    {0x74, "Illegal Address in Block Transfer"},
    {0x75, "Illegal Byte Count In Block Transfer"},
    {0x76, "Illegal Block Transfer Type"},
    {0x77, "Block Transfer Data Checksum Error"},
    {0x78, "Request Correctly Received - Response Pending"},
    {0x79, "Incorrect Byte Count During Block Transfer"},
    {0x80, "Service Not Supported In Active Diagnostic Session"},
};

std::string NegativeCodeText(int code) {
  for (const TCodeText& entry : kNegativeCodes)
    if (entry.code == code) return entry.text;
  return "unknown error";
}

// --- response lines --------------------------------------------------------------------------

TLogLines SessionModeLines(const TStepBytes& d) {
  switch (d.Count()) {
    case 1:
      return {"Session Mode set to : " + d.Hex(0)};
    case 2:
      return {"Session Mode set to : " + d.Hex(0) + " baudrate code: " + d.Hex(1)};
    default:
      return {"Error in Mode ?? not 1,2 byte"};
  }
}

std::string DtcWithStatus(const TStepBytes& d, int first) {
  return "DTC: " + d.Hex(first, first + 1) + " Status : 0x" + d.Hex(first + 2);
}

TLogLines FirstDtcLines(const TStepBytes& d) {
  if (d.Count() == 0) return {};
  TLogLines lines{"Number of DTC(s) : " + std::to_string(d[0]), "Assume/Show 1st DTC:"};
  if (d.Count() <= 3) {
    lines.push_back("More data expected ");
    return lines;
  }
  lines.push_back(DtcWithStatus(d, 1));
  std::string data = "data: ";
  for (int i = 4; i < d.Count(); ++i)
    data += "0x" + d.Hex(i) + " ";
  lines.push_back(data);
  return lines;
}

TLogLines DtcListLines(const TStepBytes& d) {
  if (d.Count() == 0) return {};
  TLogLines lines{"Number of DTC's : " + std::to_string(d[0])};
  for (int record = 0; record < d[0]; ++record) {
    const int first = 3 * record + 1;
    lines.push_back(d.Count() < first + 3 ? "More data expected " : DtcWithStatus(d, first));
  }
  return lines;
}

// The identification option d0 is not shown; the rest is text and bytes.
TLogLines IdentificationLines(const TStepBytes& d) {
  if (!d.HasArray()) return {"ID ascii : empty", "ID bytes : "};
  std::string text;
  for (int i = 1; i < d.Count(); ++i)
    if (d[i] != 0) text += static_cast<char>(d[i]);
  return {"ID ascii : " + Cp1252ToUtf8(text), "ID bytes : " + d.ListFrom(1)};
}

std::string ReceivedDataFrom(const TStepBytes& d, int first) {
  return ", Rcvd data : " + (d.Count() > first ? d.ListFrom(first) : std::string("no data"));
}

// One line: `label` and the decoded answer, or `label` + "empty" for an answer without bytes.
TLinesOf LineOrEmpty(std::string label, std::function<std::string(const TStepBytes&)> text) {
  return [label = std::move(label), text = std::move(text)](const TStepBytes& d) {
    return TLogLines{label + (d.HasArray() ? text(d) : std::string("empty"))};
  };
}

TLinesOf ByteListOrEmpty(std::string label) {
  return LineOrEmpty(std::move(label), [](const TStepBytes& d) { return d.ListFrom(0); });
}

TLinesOf OneLine(std::string line) {
  return [line = std::move(line)](const TStepBytes&) { return TLogLines{line}; };
}

TLinesOf NoLines() {
  return [](const TStepBytes&) { return TLogLines{}; };
}

// The answer to the access-timing request: what was done, and with it the timing parameters.
struct TTimingCase {
  int option;  // d0
  const char* words;
  bool showsParameters;
};

const TTimingCase kTimingCases[] = {
    {0, "Limits read", true},
    {1, "Parameters set to defaultvalues", false},
    {2, "Current values read", true},
    {3, "Values set", false},
};

// Parameter j comes from d[j + 1], in ms as raw × multiplier / divisor.
struct TTimingParameter {
  const char* name;
  int multiplier;
  int divisor;
};

const TTimingParameter kTimingParameters[] = {
    {"P2min", 1, 2}, {"P2max", 25, 1}, {"P3min", 1, 2}, {"P3max", 250, 1}, {"P4min", 1, 2},
};
constexpr int kTimingAnswerBytes = 1 + std::size(kTimingParameters);

TLogLines TimingLines(const TStepBytes& d) {
  if (d.Count() == 0) return {"Timing : error in received data"};
  const auto found = std::find_if(std::begin(kTimingCases), std::end(kTimingCases),
                                  [&](const TTimingCase& c) { return c.option == d[0]; });
  if (found == std::end(kTimingCases)) return {"Timing : "};
  TLogLines lines{std::string("Timing : ") + found->words};
  if (!found->showsParameters || d.Count() < kTimingAnswerBytes) return lines;
  int raw = 1;
  for (const TTimingParameter& parameter : kTimingParameters) {
    const int ms = d[raw] * parameter.multiplier / parameter.divisor;
    lines.push_back(std::string(parameter.name) + " = " + std::to_string(ms) + " ms, 0x" +
                    d.Hex(raw));
    ++raw;
  }
  return lines;
}

struct TResponseLines {
  int serviceId;
  TLinesOf lines;
};

const std::vector<TResponseLines>& ResponseLineTable() {
  static const std::vector<TResponseLines> table{
      {0x50, SessionModeLines},
      {0x54,
       [](const TStepBytes& d) {
         return TLogLines{"DTC's cleared for group : " +
                          (d.Count() >= 2 ? d.Hex(0, 1) : std::string("no group"))};
       }},
      {0x57, FirstDtcLines},
      {0x58, DtcListLines},
      {0x5A, IdentificationLines},
      {0x61,
       LineOrEmpty("Local ID = ",
                   [](const TStepBytes& d) { return d.HexIfPresent(0) + ReceivedDataFrom(d, 1); })},
      {0x62, LineOrEmpty("Common ID = ",
                         [](const TStepBytes& d) {
                           return (d.Count() >= 2 ? d.Hex(0, 1) : std::string()) +
                                  ReceivedDataFrom(d, 2);
                         })},
      {0x63, ByteListOrEmpty("ReadMem : ")},
      {0x70, LineOrEmpty("IO Ctrl by Local ID = ",
                         [](const TStepBytes& d) {
                           return d.HexIfPresent(0) + ", Ctrl Param : " + d.HexIfPresent(1) +
                                  ReceivedDataFrom(d, 2);
                         })},
      {0x73,
       [](const TStepBytes& d) {
         return TLogLines{"result ok, by local ID : " + d.HexIfPresent(0)};
       }},
      {0xC1, ByteListOrEmpty("Start communication rcvd, keybytes : ")},
      {0xC2, OneLine("Communication stopped")},
      {0xC3, TimingLines},
      // The frame FF 76 75, the keep-alive's answer, and the negative response logged apart.
      {0x76, NoLines()},
      {0x7E, NoLines()},
      {kNegativeResponse, NoLines()},
      {kNoStep, OneLine("no data received")},
  };
  return table;
}

// --- routing ---------------------------------------------------------------------------------

// Identifier bytes at the start of an answer: they repeat the request's first parameter bytes (the
// identification option, the local or the common identifier), and its destination does not get
// them.
struct TLeadingBytes {
  int serviceId;
  int count;
};

const TLeadingBytes kIdentifierBytes[] = {{0x5A, 1}, {0x61, 1}, {0x62, 2}};

int IdentifierByteCount(int serviceId) {
  for (const TLeadingBytes& entry : kIdentifierBytes)
    if (entry.serviceId == serviceId) return entry.count;
  return 0;
}

}  // namespace

TKwp2000DecodingRules::TKwp2000DecodingRules(const TDataDestination* dtcDestination,
                                             std::vector<TGroupListRefill> dtcGroupLists)
    : dtcDestination_(dtcDestination), dtcGroupLists_(std::move(dtcGroupLists)) {}

TLogLines TKwp2000DecodingRules::RequestLines(const TSequenceObject& object, int index) const {
  const int serviceId = object.RequestServiceId(index);
  for (const TRequestLine& entry : kRequestLines) {
    if (entry.serviceId != serviceId) continue;
    if (object.RequestParamCount(index) < entry.needs) return {};
    return {entry.text(TStepBytes(object.RequestParams(index)))};
  }
  return {};
}

TLogLines TKwp2000DecodingRules::NegativeLines(const TSequenceObject& object, int index) const {
  if (object.ResponseServiceId(index) != kNegativeResponse) return {};
  const TStepBytes d(object.ResponseParams(index));
  if (d.Count() < 2) return {"Error in Error"};
  return {"Error in request : " + d.Hex(0) + " type : " + d.Hex(1) + ", " + NegativeCodeText(d[1])};
}

TLogLines TKwp2000DecodingRules::ResponseLines(const TSequenceObject& object, int index) const {
  const int serviceId = object.ResponseServiceId(index);
  const TStepBytes d(object.ResponseParams(index));
  for (const TResponseLines& entry : ResponseLineTable())
    if (entry.serviceId == serviceId) return entry.lines(d);
  return DumpLines(serviceId, d);
}

namespace {

bool IsResponsePending(const TSequenceObject& object, int index) {
  const TStepBytes d(object.ResponseParams(index));
  return object.ResponseServiceId(index) == kNegativeResponse && d.Count() >= 2 &&
         d[1] == TKwp2000Protocol::kResponsePending;
}

// Whether answer `index` is the positive answer to request `owner`: the request's service id
// plus 0x40, starting with the request's identifier bytes where the service repeats them.
bool Answers(const TSequenceObject& object, int index, int owner) {
  const int serviceId = object.ResponseServiceId(index);
  if (serviceId != object.RequestServiceId(owner) + kPositiveAnswerOffset) return false;
  const int identifiers = IdentifierByteCount(serviceId);
  const TStepBytes answer(object.ResponseParams(index));
  const TStepBytes request(object.RequestParams(owner));
  if (answer.Count() < identifiers || request.Count() < identifiers) return false;
  for (int i = 0; i < identifiers; ++i)
    if (answer[i] != request[i]) return false;
  return true;
}

}  // namespace

// Answer `index` is routed through the request beside it or, when it is the answer awaited on
// receive-only steps after response-pending answers, through the nearest request before those
// steps. It is routed only when that request is tagged, the answer's service id is the request's
// plus 0x40, and, for 0x5A, 0x61 and 0x62, the answer starts with the request's identification
// option, local identifier or both bytes of its common identifier. Not routed: an answer beyond
// the requests, one beside a receive-only step without a response-pending answer before it (it
// fell behind its own request after a dropped frame), and one of another service or for another
// option or identifier (the answer to another request).
TSequence* TKwp2000DecodingRules::RoutingStep(TSequenceObject& object, int index) {
  int owner = index;
  if (owner < object.RequestCount()) {
    while (owner > 0 && !object.HasRequest(owner)) {
      if (!IsResponsePending(object, owner - 1)) return nullptr;
      --owner;
    }
  }
  TSequence* request = object.GetRequest(owner);
  return IsTagged(request) && Answers(object, index, owner) ? request : nullptr;
}

// A negative response carries no values, only the rejected service id and the code.
std::unique_ptr<TSmallIntArray> TKwp2000DecodingRules::RoutedData(const TSequenceObject& object,
                                                                  int index) const {
  const int serviceId = object.ResponseServiceId(index);
  const TSmallIntArray* data = object.ResponseParams(index);
  if (!data || serviceId == kNegativeResponse) return nullptr;
  auto copy = std::make_unique<TSmallIntArray>();
  for (int i = IdentifierByteCount(serviceId); i < data->Count(); ++i)
    copy->Add(data->Get(i));
  return copy;
}

void TKwp2000DecodingRules::BeforeRouting(TSequenceObject&, int, const TSequence& request) {
  if (!request.FDestination || request.FDestination != dtcDestination_) return;
  for (const TGroupListRefill& list : dtcGroupLists_)
    list.groups->AssignTo(*list.box);
}
