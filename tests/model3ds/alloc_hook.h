// Makes one chosen allocation of this test program fail, to drive the toolkit through
// every out-of-memory path. Replaces the global operator new for the whole program;
// nothing fails unless a test arms it.
#pragma once

#include <cstdint>

namespace allochook {

// The n-th allocation from now on (1 = the next one) throws std::bad_alloc; later ones
// succeed again.
void failAllocation(int64_t n);
// Disarms; true when the armed allocation was reached and failed.
bool disarm();

}  // namespace allochook
