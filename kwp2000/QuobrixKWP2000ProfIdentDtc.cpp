// Identification and trouble codes: the requests of the Identification and Diagnose tabs, each
// decoded into its grid by its destination.
#include "kwp2000/Kwp2000Definitions.h"
#include "kwp2000/Kwp2000Requests.h"
#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "measurement/DataDestination.h"
#include "ui/ListBox.h"

void TQuobrixKWP2000Form::ButtonIDnewClick() {
  const TDescriptionList& descriptions = FKwp2000Definitions->IdentDescriptions();
  if (!FCommThread || descriptions.empty()) return;
  Execute(IdentificationRequest(descriptions, *FIdentDestination));
}

void TQuobrixKWP2000Form::ButtonReadDTCByStatusNewClick() {
  const TDescriptionList& descriptions = FKwp2000Definitions->DtcByStatusDescriptions();
  if (!FCommThread || descriptions.empty()) return;
  Execute(DtcByStatusRequest(*descriptions.front(), *ListBoxDTCStatus18, *ListBoxDTCGroup18,
                             *FDtcDestination));
}

void TQuobrixKWP2000Form::ButtonClearDIClick() {
  if (!FCommThread) return;
  // The first group defined for clearing; all groups when none is.
  const TStringObjectList& groups = FKwp2000Definitions->DtcGroups14();
  const int group =
      groups.Count() > 0 ? static_cast<int>(groups.Entries().front().Object) : kAllDtcGroups;
  Execute(ClearDtcRequest(group));
  ButtonReadDTCByStatusNewClick();
}

void TQuobrixKWP2000Form::ButtonReadStatusOfDTCClick() {
  const TDescriptionList& descriptions = FKwp2000Definitions->StatusOfDtcDescriptions();
  if (!FCommThread || ListBoxDTCGroup17->Count() == 0 || descriptions.empty()) return;
  Execute(StatusOfDtcRequest(*descriptions.front(), *ListBoxDTCGroup17, *FDtcDestination));
}
