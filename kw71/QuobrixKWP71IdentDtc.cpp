// Identification and fault codes: the requests of the Identification and Diagnose tabs, each
// decoded into its grid by its destination.
#include "kw71/Kw71Definitions.h"
#include "kw71/Kw71Requests.h"
#include "kw71/QuobrixKWP71Main.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"

void TQuobrixKWP71Form::ButtonIDnewClick() {
  const TDescriptionList& descriptions = FKw71Definitions->IdentDescriptions();
  if (!FCommThread || descriptions.empty()) return;
  Execute(Kw71IdentificationRequest(descriptions, *FIdentDestination));
}

void TQuobrixKWP71Form::ButtonReadDTCByStatusNewClick() {
  const TDescriptionList& descriptions = FKw71Definitions->DtcDescriptions();
  if (!FCommThread || descriptions.empty()) return;
  Execute(Kw71ReadDtcRequest(*descriptions.front(), *FDtcDestination));
}

void TQuobrixKWP71Form::ButtonClearDIClick() {
  if (!FCommThread) return;
  Execute(Kw71ClearDtcRequest());
  // A list of its own reads the fault codes again.
  ButtonReadDTCByStatusNewClick();
}
