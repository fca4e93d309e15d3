#include "kwp2000/Kwp2000Definitions.h"

#include <utility>

#include "measurement/DataDescription.h"
#include "measurement/DisplayTargets.h"

namespace {

// Offers the description's title with its identifier in `box` (and in `entries`, when given);
// the description itself is not kept.
TFileAction ByIdentifier(TListBox& box, TStringObjectList* entries = nullptr) {
  return [&box, entries](std::unique_ptr<TDataDescription> description) {
    const std::string title = description->GetTitle();
    const intptr_t identifier = description->GetIdentifier();
    box.AddObject(title, identifier);
    if (entries) entries->AddObject(title, identifier);
  };
}

}  // namespace

TKwp2000Definitions::TKwp2000Definitions(const TDefinitionControls& controls,
                                         const TKwp2000DtcControls& dtcControls, std::string defDir)
    : TDefinitions(controls, std::move(defDir)),
      FDtcControls(dtcControls),
      FKeywords(MakeKeywords()) {}

TDefinitionKeywords TKwp2000Definitions::MakeKeywords() {
  const TFileAction realtime = [this](auto description) { FileRealtime(std::move(description)); };
  const TFileAction ident = [this](auto description) { FileIdent(std::move(description)); };
  TKwp2000DtcControls& dtc = FDtcControls;
  return {
      .DefineKeys =
          {
              {"ecuaddress", "MaskEditEcuAddress2000", TDefineKind::Text},
              {"testeraddress", "MaskEditTesterAddress2000", TDefineKind::Text},
              {"port", "ComboBoxComPort", TDefineKind::Text},
              {"inittype", "RadioInit2000", TDefineKind::ItemIndex},
              {"addressmode", "RadioGroupAddressMode", TDefineKind::ItemIndex},
              {"headertype", "RadioGroupHeaderType", TDefineKind::ItemIndex},
              {"lengthinformation", "RadioGroupLengthInfo", TDefineKind::ItemIndex},
              {"echoaftersend", "CheckBoxRcvEcho", TDefineKind::Checked},
              {"setdtr", "CheckBoxSetDTR", TDefineKind::Checked},
          },
      .ClearTargets =
          {
              {"ReadId_2000", "clear: REI_2000", [this] { ClearIdent(); }},
              {"ReadData_2000", "clear: ListBoxReadAll->Items", [this] { ClearRealtime(); }},
          },
      .FilingRules =
          {
              {"RDBLI_2000", {}, "RDBLI_2000 : ", realtime},
              {"RDBCI_2000", {}, "RDBCI_2000 : ", realtime},
              {"REI_2000", {}, "REI_2000 : ", ident},
              {"ReadId_2000", {0x1A, 0x21}, "REI_2000 : ", ident},
              {"RDTCBS_2000", {}, "RDTCBS_2000 : ", IntoList(FDtcByStatusDescriptions)},
              {"RSODTC_2000", {}, "RSODTC_2000 : ", IntoList(FStatusOfDtcDescriptions)},
              {"SODTCRQ_2000", {0x18}, "SODTCRQ_2000 : ", ByIdentifier(dtc.DTCStatus18)},
              {"GODTC_2000", {0x18}, "GODTC_2000, 18 : ", ByIdentifier(dtc.DTCGroup18)},
              {"GODTC_2000",
               {0x14},
               "GODTC_2000, 14 : ",
               ByIdentifier(dtc.DTCGroup14, &FDtcGroups14)},
              {"GODTC_2000",
               {0x17},
               "GODTC_2000, 17 : ",
               ByIdentifier(dtc.DTCGroup17, &FDtcGroups17)},
          },
  };
}

void TKwp2000Definitions::ClearProgramLists() {
  FDtcByStatusDescriptions.clear();
  FStatusOfDtcDescriptions.clear();
  for (TListBox* box : {&FDtcControls.DTCStatus18, &FDtcControls.DTCGroup18,
                        &FDtcControls.DTCGroup14, &FDtcControls.DTCGroup17})
    box->Clear();
  FDtcGroups14.Clear();
  FDtcGroups17.Clear();
}
