// The KWP2000 tester's definitions: besides the groups and identification descriptions every
// tester has, the descriptions of the two trouble-code answers and the status values, groups and
// trouble-code numbers offered for the trouble-code requests; with the tester's "#define" keys,
// "#clear" targets and description keywords. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tester/Definitions.h"
#include "tester/StringObjectList.h"

// The trouble-code list boxes of the window, borrowed; their objects are identifiers.
struct TKwp2000DtcControls {
  TListBox& DTCStatus18;
  TListBox& DTCGroup18;
  TListBox& DTCGroup14;
  TListBox& DTCGroup17;
};

class TKwp2000Definitions final : public TDefinitions {
 public:
  TKwp2000Definitions(const TDefinitionControls& controls, const TKwp2000DtcControls& dtcControls,
                      std::string defDir);

  const TDescriptionList& DtcByStatusDescriptions() const { return FDtcByStatusDescriptions; }
  const TDescriptionList& StatusOfDtcDescriptions() const { return FStatusOfDtcDescriptions; }
  // The same entries as DTCGroup14 and DTCGroup17: text = title, object = identifier.
  const TStringObjectList& DtcGroups14() const { return FDtcGroups14; }
  const TStringObjectList& DtcGroups17() const { return FDtcGroups17; }

 protected:
  const TDefinitionKeywords& Keywords() const override { return FKeywords; }
  void ClearProgramLists() override;

 private:
  TDefinitionKeywords MakeKeywords();

  TKwp2000DtcControls FDtcControls;
  TDescriptionList FDtcByStatusDescriptions;
  TDescriptionList FStatusOfDtcDescriptions;
  TStringObjectList FDtcGroups14;
  TStringObjectList FDtcGroups17;
  const TDefinitionKeywords FKeywords;
};
