#include "kwp2000/SingleServices.h"

#include <algorithm>
#include <array>

#include "platform/Conversions.h"
#include "platform/SmallIntArray.h"

namespace {

using TKind = TServiceParameter::TKind;

TServiceParameter Constant(int value) {
  return {TKind::Constant, value};
}
TServiceParameter FieldByte(const char* field) {
  return {TKind::FieldByte, 0, field};
}
TServiceParameter FieldWord(const char* field) {
  return {TKind::FieldWord, 0, field};
}

// 0x83 access timing parameters: 0 reads the limits, 2 the current values, 3 sets the values.
const std::array<TSingleService, 9> kServices{{
    {1, "ID 80-9F", -1, {}},
    {2, "Read Data by local ID", 0x21, {FieldByte("MaskEditRDBLI")}},
    {5, "ECU Reset", 0x11, {FieldByte("MaskEditResetMode")}},
    {6, "Read Current Timing", 0x83, {Constant(2)}},
    {7,
     "Set Timing",
     0x83,
     {Constant(3), FieldByte("MaskEditP2min"), FieldByte("MaskEditP2max"),
      FieldByte("MaskEditP3min"), FieldByte("MaskEditP3max"), FieldByte("MaskEditP4min")}},
    {8, "Read Timing Limits", 0x83, {Constant(0)}},
    {10, "Read Data by common ID", 0x22, {FieldWord("MaskEditRDBCI")}},
    {30,
     "Input Output Control by local ID",
     0x30,
     {FieldByte("MaskEditIOCLI_LI"), FieldByte("MaskEditIOCLI_CP")}},
    {0, "No Action", -1, {}},
}};

}  // namespace

const TSingleService& SingleServiceFor(int tag) {
  const auto found = std::find_if(kServices.begin(), kServices.end() - 1,
                                  [tag](const TSingleService& s) { return s.Tag == tag; });
  return *found;
}

std::unique_ptr<TSequenceList> SingleServiceRequest(
    const TSingleService& service, const std::function<std::string(const char*)>& fieldText) {
  if (service.ServiceId < 0) return nullptr;
  auto params = std::make_unique<TSmallIntArray>();
  for (const TServiceParameter& parameter : service.Parameters) {
    const int value = parameter.Kind == TKind::Constant
                          ? parameter.Constant
                          : plat::StrToInt(fieldText(parameter.Field));
    if (parameter.Kind == TKind::FieldWord) params->Add(static_cast<int16_t>((value >> 8) & 0xFF));
    params->Add(static_cast<int16_t>(value & 0xFF));
  }
  return TSequenceList::CreateFromService(service.ServiceId, std::move(params));
}
