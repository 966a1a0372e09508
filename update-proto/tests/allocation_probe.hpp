// Watches the largest single allocation made through operator new while
// armed, so a test can see what a decode reserved before it failed. The
// replacement operators live in their own unit so that no caller inlines them.
// Tools that replace operator new themselves (valgrind) take over; the probe
// then sees nothing and says so through works().
#pragma once

#include <cstddef>

namespace allocation_probe {

void arm();
// Disarms and returns the largest allocation since arm().
std::size_t disarm();
// Whether allocations are seen at all in this process.
bool works();

}  // namespace allocation_probe
