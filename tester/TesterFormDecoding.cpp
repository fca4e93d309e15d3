// The results of the worker: drained from the response queue, logged and routed to the data
// destinations by the program's decoding rules.
#include "tester/ResultDecoder.h"
#include "tester/TesterForm.h"
#include "ui/ActivityLogMemo.h"

namespace tester {

void TesterForm::UseDecoding(std::unique_ptr<TDecodingRules> rules) {
  FDecodingRules = std::move(rules);
  FDecoder = std::make_unique<TResultDecoder>(*FDecodingRules, *Memo1);
}

void TesterForm::NewDataEvent2000() {
  if (FDecoder) FDecoder->Drain(FCommThread, FContReading, FContSequence.get());
}

}  // namespace tester
