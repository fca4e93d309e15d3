// The activity-log lines of the key bytes an ECU sent at the start of a connection.
#pragma once

#include <string>
#include <vector>

#include "platform/SmallIntArray.h"

namespace tester {

// "KeyBytes, count : " with the count, then each key byte as two upper-case hexadecimal digits.
std::vector<std::string> KeyByteLines(const TSmallIntArray& keyBytes);

}  // namespace tester
