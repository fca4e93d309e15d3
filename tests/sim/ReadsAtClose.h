// What both device backends do with reads at a close, checked alike for each.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "platform/FtdiInterface.h"

namespace readchecks {

// Each read has ended, failed with `error`.
inline void ExpectEndedWith(std::initializer_list<plat::ftdi::Overlapped*> reads, uint32_t error) {
  for (plat::ftdi::Overlapped* read : reads) {
    ASSERT_EQ(read->DoneEvent().WaitFor(0), plat::WaitResult::Signaled);
    EXPECT_FALSE(plat::ftdi::GetOverlappedResult(*read, nullptr, false));
    EXPECT_EQ(plat::ftdi::LastError(), error);
  }
}

// Closes `device` with a read pending and starts one after the close: both end at once with an
// invalid handle.
inline void ExpectReadsAtCloseEndWithAnInvalidHandle(plat::ftdi::Device& device) {
  ASSERT_TRUE(device.SetTimeouts({0, 0, 0, 0, 0}));
  uint8_t buffer[2];
  plat::ftdi::Overlapped pending, later;
  ASSERT_FALSE(device.Read(buffer, 2, nullptr, pending));
  ASSERT_TRUE(device.Close());
  EXPECT_FALSE(device.Read(buffer, 2, nullptr, later));
  ExpectEndedWith({&pending, &later}, plat::ftdi::kErrorInvalidHandle);
}

}  // namespace readchecks
