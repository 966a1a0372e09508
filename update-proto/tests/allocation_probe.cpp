#include "allocation_probe.hpp"

#include <cstdlib>
#include <memory>
#include <new>

namespace {
std::size_t g_largest = 0;
bool g_armed = false;
}  // namespace

void* operator new(std::size_t size) {
  if (g_armed && size > g_largest) g_largest = size;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace allocation_probe {

void arm() {
  g_largest = 0;
  g_armed = true;
}

std::size_t disarm() {
  g_armed = false;
  return g_largest;
}

bool works() {
  arm();
  auto probe = std::make_unique<char[]>(1234);
  return disarm() >= 1234;
}

}  // namespace allocation_probe
