// Decoding of the finished units of work that the communication worker hands back: the window's
// new-data handler drains the response queue through TResultDecoder, which keeps continuous
// reading going, writes the activity-log lines of every step and passes the data of tagged steps
// to their data destinations. What differs between the testers (the lines, which steps are routed
// and with which bytes) comes from the program's TDecodingRules.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Sequence.h"
#include "tester/RequestNames.h"

class TActivityLog;
class TDataDestination;
class TSmallIntArray;

using TLogLines = std::vector<std::string>;

inline bool IsTagged(const TSequence* step) {
  return step && step->FName == kDataWithDestination;
}

// One tester program's part of the decoding, step by step.
class TDecodingRules {
 public:
  virtual ~TDecodingRules() = default;

  // Lines that describe request step `index` (absent beyond the request list).
  virtual TLogLines RequestLines(const TSequenceObject& object, int index) const = 0;
  // Lines of an error answer at response step `index`; written for every object.
  virtual TLogLines NegativeLines(const TSequenceObject& object, int index) const = 0;
  // Lines that decode response step `index` (absent beyond the response list).
  virtual TLogLines ResponseLines(const TSequenceObject& object, int index) const = 0;
  // The tagged request step through which response `index` reaches a destination, or null. May
  // adjust the object's request steps first.
  virtual TSequence* RoutingStep(TSequenceObject& object, int index) = 0;
  // The bytes of response `index` that its destination gets, or null when it gets none.
  virtual std::unique_ptr<TSmallIntArray> RoutedData(const TSequenceObject& object,
                                                     int index) const = 0;
  // Runs just before the routed bytes of response `index` are handed over.
  virtual void BeforeRouting(TSequenceObject& /*object*/, int /*index*/,
                             const TSequence& /*request*/) {}
  // The append argument of the destination's NewData.
  virtual bool AppendFlag(const TSequence& /*request*/) const { return false; }
};

class TResultDecoder {
 public:
  // Both are borrowed and must outlive the decoder.
  TResultDecoder(TDecodingRules& rules, TActivityLog& log) : rules_(rules), log_(log) {}

  // Takes every result the worker has queued, also those it queues meanwhile; with no worker,
  // nothing. A "ContReadData" result first goes to `continuousRead(*worker)`, which may queue the
  // next copy and says whether the result's data is shown. `Worker` offers ResponseCount and
  // PopResponse as TIso9141Thread does.
  template <class Worker, class ContinuousRead>
  void Drain(Worker* worker, ContinuousRead&& continuousRead) {
    while (worker && worker->ResponseCount() > 0) {
      std::unique_ptr<TSequenceObject> object = worker->PopResponse();
      if (!object) return;
      const bool shown = !IsContinuousRead(*object) || continuousRead(*worker);
      Decode(*object, shown);
    }
  }

  // Logs the steps of one result and, when `shown`, routes them.
  void Decode(TSequenceObject& object, bool shown = true);

 private:
  static bool IsContinuousRead(const TSequenceObject& object) {
    return object.GetName() == kContReadData;
  }
  void Route(TSequenceObject& object, int index);
  void Write(const TLogLines& lines);

  TDecodingRules& rules_;
  TActivityLog& log_;
};
