// The KWP2000 tester's decoding of results: "Send: " lines by request service id, the decoded
// lines of each answer, the negative-response texts, and which bytes of an answer its data
// destination gets.
#pragma once

#include <memory>
#include <vector>

#include "tester/ResultDecoder.h"

class TListBox;
class TStringObjectList;

// A list box that is refilled from the definition's entries before each trouble-code answer is
// added to it, so reading twice does not pile up old records.
struct TGroupListRefill {
  TListBox* box;
  const TStringObjectList* groups;
};

class TKwp2000DecodingRules final : public TDecodingRules {
 public:
  // `dtcDestination` and everything in `dtcGroupLists` are borrowed; null when the window has
  // no trouble-code display.
  explicit TKwp2000DecodingRules(const TDataDestination* dtcDestination = nullptr,
                                 std::vector<TGroupListRefill> dtcGroupLists = {});

  TLogLines RequestLines(const TSequenceObject& object, int index) const override;
  TLogLines NegativeLines(const TSequenceObject& object, int index) const override;
  TLogLines ResponseLines(const TSequenceObject& object, int index) const override;
  TSequence* RoutingStep(TSequenceObject& object, int index) override;
  std::unique_ptr<TSmallIntArray> RoutedData(const TSequenceObject& object,
                                             int index) const override;
  void BeforeRouting(TSequenceObject& object, int index, const TSequence& request) override;

 private:
  const TDataDestination* dtcDestination_;
  std::vector<TGroupListRefill> dtcGroupLists_;
};
