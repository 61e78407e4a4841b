// The firmware's built-in test routines reached through command 76.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx5::sim {

class Gauge;

// Runs test `number` on `input`; writes at most 56 result bytes to `out` and returns their
// count, or -1 for an unknown test or input too short for it.
int runTest(Gauge& gauge, std::uint32_t number, const std::uint8_t* input, std::size_t count,
            std::uint8_t* out);

}  // namespace qx5::sim
