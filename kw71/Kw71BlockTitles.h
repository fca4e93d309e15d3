// Block titles that both the block protocol and the tester's decoding act on.
#pragma once

#include <algorithm>
#include <iterator>

// Titles of answers that the ECU may send as a chain of blocks, each next block fetched with an
// acknowledge.
inline constexpr int kKw71ChainTitles[] = {0xF4, 0xF6, 0xFC};

inline bool IsKw71ChainTitle(int title) {
  return std::find(std::begin(kKw71ChainTitles), std::end(kKw71ChainTitles), title) !=
         std::end(kKw71ChainTitles);
}
