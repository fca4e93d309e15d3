// The KW71/KW81 tester's decoding of results, keyed by block title: the lines of each request and
// answer block, the fault-code records, the "ERROR" block, the identification blocks that follow
// the 5-baud start (routed to the identification grid as if they answered an identification
// request) and chained answers, whose blocks reach one destination as one answer.
#pragma once

#include <memory>

#include "tester/ResultDecoder.h"

class TDefinitions;

class TKw71DecodingRules final : public TDecodingRules {
 public:
  // Both borrowed: the loaded definitions (for the first identification description) and the
  // identification grid's destination.
  TKw71DecodingRules(const TDefinitions& definitions, TDataDestination& identDestination);

  TLogLines RequestLines(const TSequenceObject& object, int index) const override;
  TLogLines NegativeLines(const TSequenceObject& object, int index) const override;
  TLogLines ResponseLines(const TSequenceObject& object, int index) const override;
  TSequence* RoutingStep(TSequenceObject& object, int index) override;
  std::unique_ptr<TSmallIntArray> RoutedData(const TSequenceObject& object,
                                             int index) const override;
  void BeforeRouting(TSequenceObject& object, int index, const TSequence& request) override;
  bool AppendFlag(const TSequence& request) const override { return request.FAppend; }

 private:
  void RouteStartAnswer(TSequenceObject& object, int index);

  const TDefinitions& definitions_;
  TDataDestination& identDestination_;
};
