// Table rows for export tests: call an export on a fresh simulated gauge, then compare the
// packets it wrote and what it returned (as text) with the row.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/ShownResult.h"
#include "support/SimulatedLibrary.h"

namespace qx5::test {

inline Bytes withFloat(Bytes packet, std::size_t offset, float value) {
  std::memcpy(packet.data() + offset, &value, sizeof value);
  return packet;
}
inline void putFloat(Bytes& reply, std::size_t offset, float value) {
  std::memcpy(reply.data() + offset, &value, sizeof value);
}

inline int timesIn(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

struct WireCase {
  const char* label;
  std::function<std::string()> call;
  std::vector<Bytes> sent;
  std::string result;
  std::function<void(SimulatedLibrary&)> prepare = {};  // after attaching, before the call
};

inline void runWireCases(const std::vector<WireCase>& cases) {
  for (const WireCase& row : cases) {
    SCOPED_TRACE(row.label);
    SimulatedLibrary sim;
    ASSERT_TRUE(sim.attach());
    if (row.prepare) row.prepare(sim);
    EXPECT_EQ(row.call(), row.result);
    EXPECT_EQ(sim.sent(), row.sent);
  }
}

}  // namespace qx5::test
