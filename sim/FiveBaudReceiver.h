// Reads an address sent at 5 baud from the line's edges. A falling edge starts a capture; at
// DecodeTime(), half a bit into the stop bit, the ten bits are sampled in their middles. A first
// low pulse too short for a start bit ends the capture (its length is handed back, so that a
// fast-initialisation pulse can be told apart).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

struct FiveBaudAddress {
  uint8_t address = 0;
  int64_t end = 0;  // end of the stop bit
};

class FiveBaudReceiver {
 public:
  void OnLow(int64_t at);
  // The length of the first low pulse when this edge ended it.
  std::optional<int64_t> OnHigh(int64_t at);
  void Cancel() { start_.reset(); }

  // When the capture is to be decoded; nothing without a capture.
  std::optional<int64_t> DecodeTime() const;
  // Ends the capture: the address, or nothing when the start bit was not low or the stop bit
  // not high.
  std::optional<FiveBaudAddress> Decode();

 private:
  struct Edge {
    int64_t at;
    bool low;
  };

  bool LowAt(int64_t at) const;

  std::optional<int64_t> start_;
  std::vector<Edge> edges_;
};

}  // namespace sim
