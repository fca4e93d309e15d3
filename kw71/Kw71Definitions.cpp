#include "kw71/Kw71Definitions.h"

#include <utility>

#include "measurement/DataDescription.h"

TKw71Definitions::TKw71Definitions(const TDefinitionControls& controls, std::string defDir)
    : TDefinitions(controls, std::move(defDir)), FKeywords(MakeKeywords()) {}

TDefinitionKeywords TKw71Definitions::MakeKeywords() {
  // Which read a group makes is chosen by its service id, so both group keywords file alike.
  const TFileAction realtime = [this](auto description) { FileRealtime(std::move(description)); };
  const TFileAction ident = [this](auto description) { FileIdent(std::move(description)); };
  return {
      .DefineKeys =
          {
              {"ecuaddress", "MaskEditEcuAddress2000", TDefineKind::Text},
              {"port", "ComboBoxComPort", TDefineKind::Text},
              {"echoaftersend", "CheckBoxRcvEcho", TDefineKind::Checked},
              {"setdtr", "CheckBoxSetDTR", TDefineKind::Checked},
          },
      .ClearTargets =
          {
              {"REI_71", "clear: REI_71", [this] { ClearIdent(); }},
              {"ReadData_71", "clear: ListBoxReadAll->Items", [this] { ClearRealtime(); }},
          },
      .FilingRules =
          {
              {"ADC_71", {}, "ADC_71 : ", realtime},
              {"RAM_71", {}, "RAM_71 : ", realtime},
              {"REI_71", {}, "REI_71 : ", ident},
              {"RDTC_71", {}, "RDTC_71 : ", IntoList(FDtcDescriptions)},
          },
  };
}
