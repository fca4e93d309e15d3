// Random formulas evaluated for a few values of x; the results are written as value texts.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "measurement/FormulaInt.h"
#include "measurement/ValueText.h"
#include "platform/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  TFormulaInt formula(std::string_view(reinterpret_cast<const char*>(bytes), size));
  for (double x : {0.0, -1.5, 255.0, std::numeric_limits<double>::infinity()}) {
    double result = 0;
    try {
      formula.Calculate(x, result);
    } catch (const plat::EConvertError&) {
      continue;  // a leaf that is no number
    }
    FloatToText(static_cast<float>(result));
  }
  return 0;
}
