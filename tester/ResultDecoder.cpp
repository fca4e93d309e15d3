#include "tester/ResultDecoder.h"

#include <algorithm>

#include "engine/ActivityLog.h"
#include "measurement/DataDestination.h"
#include "platform/SmallIntArray.h"

void TResultDecoder::Decode(TSequenceObject& object, bool shown) {
  // Continuous reading logs only its error answers, so it does not flood the log.
  const bool logged = !IsContinuousRead(object);
  const int steps = std::max(object.RequestCount(), object.ResponseCount());
  for (int i = 0; i < steps; ++i) {
    if (logged) Write(rules_.RequestLines(object, i));
    Write(rules_.NegativeLines(object, i));
    if (logged) Write(rules_.ResponseLines(object, i));
    if (shown) Route(object, i);
  }
}

void TResultDecoder::Route(TSequenceObject& object, int index) {
  TSequence* request = rules_.RoutingStep(object, index);
  if (!request) return;
  const std::unique_ptr<TSmallIntArray> data = rules_.RoutedData(object, index);
  if (!data) return;
  rules_.BeforeRouting(object, index, *request);
  if (!request->FDestination) return;
  request->FDestination->NewData(request->FDestinationIndex, data.get(), object.ResponseTime(index),
                                 rules_.AppendFlag(*request));
}

void TResultDecoder::Write(const TLogLines& lines) {
  for (const std::string& line : lines)
    log_.Add(line);
}
