// Replaces the global allocation functions of the benchmark binary (only):
// the sizes come from malloc_usable_size, so deletes without a size are
// accounted for too.
#include "heapcount.hpp"

#include <cstdlib>
#include <malloc.h>
#include <new>

namespace veldrabench {
namespace {

bool counting = false;
heapusage usage;
std::size_t held = 0; // bytes held now, relative to the start

void* allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  if (counting) {
    const std::size_t bytes = malloc_usable_size(block);
    ++usage.allocations;
    usage.allocatedbytes += bytes;
    held += bytes;
    if (held > usage.peakbytes) {
      usage.peakbytes = held;
    }
  }
  return block;
}

void release(void* block) noexcept {
  if (block == nullptr) {
    return;
  }
  if (counting) {
    // Blocks made before counting started may be freed while it runs; the
    // balance may go below the start, which only lowers later peaks.
    const std::size_t bytes = malloc_usable_size(block);
    held = held >= bytes ? held - bytes : 0;
  }
  std::free(block);
}

} // namespace

void startcounting() {
  usage = heapusage{};
  held = 0;
  counting = true;
}

heapusage stopcounting() {
  counting = false;
  return usage;
}

} // namespace veldrabench

void* operator new(std::size_t size) { return veldrabench::allocate(size); }
void* operator new[](std::size_t size) { return veldrabench::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return veldrabench::allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* block) noexcept { veldrabench::release(block); }
void operator delete[](void* block) noexcept { veldrabench::release(block); }
void operator delete(void* block, std::size_t) noexcept {
  veldrabench::release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  veldrabench::release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  veldrabench::release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  veldrabench::release(block);
}
