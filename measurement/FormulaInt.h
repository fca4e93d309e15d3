// Interpreter for a free formula of one variable x, evaluated directly on its text: each
// evaluation splits the text at the operator that binds loosest, recursively; a chain of
// operators of one level is split in one pass, so a long flat text costs time in proportion to
// its length.
#pragma once

#include <string>
#include <string_view>

class TFormulaInt {
 public:
  // Stores the formula with every "**" turned into "^" and every blank removed.
  explicit TFormulaInt(std::string_view formula);

  // Evaluates the formula for x; `result` is always written. False when a part of the formula
  // was empty or otherwise unusable (that part counted 0). A leaf that is no number throws the
  // conversion error.
  bool Calculate(double x, double& result);
  // Evaluates one sub-text; only ever sets `error`, never clears it.
  double Evaluate(std::string_view text, bool& error);
  // From `start` (counted from 1) to the end of `text`, the first position where the bracket
  // depth is back to 0; `start` itself when that never happens or `text[start]` is no '('.
  static int FindClosingBracket(std::string_view text, int start);

  const std::string& GetFormula() const { return FFormula; }

 private:
  double EvaluateAt(std::string_view text, bool& error, int depth);
  // A ternary at `op`, or an operator left of a ':' that has no '?' (`second`).
  double EvaluateOperator(std::string_view text, size_t op, size_t second, bool& error, int depth);
  // A text whose loosest operator, at `op`, is no ternary, split at every operator of that level.
  double EvaluateChain(std::string_view text, size_t op, bool& error, int depth);

  double FX = 0;
  std::string FFormula;
};
