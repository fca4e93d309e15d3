// The results of the worker: drained from the response queue, logged and routed to the data
// destinations by the program's decoding rules.
#include "tester/LiveDataReading.h"
#include "tester/ResultDecoder.h"
#include "tester/TesterForm.h"
#include "ui/ActivityLogMemo.h"

namespace tester {

void TesterForm::UseDecoding(std::unique_ptr<TDecodingRules> rules) {
  FDecodingRules = std::move(rules);
  FDecoder = std::make_unique<TResultDecoder>(*FDecodingRules, *Memo1);
}

void TesterForm::NewDataEvent2000() {
  if (FDecoder)
    FDecoder->Drain(FCommThread,
                    [this](TIso9141Thread& worker) { return ContinuousReadAnswered(&worker); });
}

bool TesterForm::ContinuousReadAnswered(TIso9141Thread* worker) {
  return FLiveData->CopyAnswered([worker](std::unique_ptr<TSequenceList>&& list) {
    return worker && worker->ExecuteSequence(std::move(list));
  });
}

}  // namespace tester
