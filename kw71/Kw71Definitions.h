// The KW71/KW81 tester's definitions: the RAM and ADC groups and the identification descriptions
// every tester has, and the descriptions of the fault-code answer; with the tester's "#define"
// keys, "#clear" targets and description keywords. Main thread only.
#pragma once

#include <string>

#include "tester/Definitions.h"

class TKw71Definitions final : public TDefinitions {
 public:
  TKw71Definitions(const TDefinitionControls& controls, std::string defDir);

  // The fault-code answers' descriptions; a read uses the first.
  const TDescriptionList& DtcDescriptions() const { return FDtcDescriptions; }

 protected:
  const TDefinitionKeywords& Keywords() const override { return FKeywords; }
  void ClearProgramLists() override { FDtcDescriptions.clear(); }

 private:
  TDefinitionKeywords MakeKeywords();

  TDescriptionList FDtcDescriptions;
  const TDefinitionKeywords FKeywords;
};
