#include "tests/stress/allocation_counter.h"

#include <errno.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void *__libc_valloc(size_t size);
void *__libc_pvalloc(size_t size);
void __libc_free(void *p);
}

namespace surf_stress {
namespace {

std::atomic<bool> armed{false};
std::atomic<long> allocations{0};
std::atomic<long> releases{0};

inline void countAllocation() {
  if (armed.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
inline void countRelease() {
  if (armed.load(std::memory_order_relaxed)) releases.fetch_add(1, std::memory_order_relaxed);
}

void *newOrThrow(size_t size) {
  countAllocation();
  void *p = __libc_malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void *alignedNewOrThrow(size_t size, std::align_val_t alignment) {
  countAllocation();
  void *p = __libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void armAllocationCounter() {
  allocations.store(0);
  releases.store(0);
  armed.store(true);
}

AllocationCounts disarmAllocationCounter() {
  armed.store(false);
  return AllocationCounts{allocations.load(), releases.load()};
}

}  // namespace surf_stress

using surf_stress::countAllocation;
using surf_stress::countRelease;

extern "C" {

void *malloc(size_t size) {
  countAllocation();
  return __libc_malloc(size);
}

void *calloc(size_t count, size_t size) {
  countAllocation();
  return __libc_calloc(count, size);
}

void *realloc(void *p, size_t size) {
  countAllocation();
  return __libc_realloc(p, size);
}

void *reallocarray(void *p, size_t count, size_t size) {
  countAllocation();
  if (size != 0 && count > SIZE_MAX / size) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_realloc(p, count * size);
}

void free(void *p) {
  countRelease();
  __libc_free(p);
}

void *memalign(size_t alignment, size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void **out, size_t alignment, size_t size) {
  countAllocation();
  if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void *p = __libc_memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}

void *valloc(size_t size) {
  countAllocation();
  return __libc_valloc(size);
}

void *pvalloc(size_t size) {
  countAllocation();
  return __libc_pvalloc(size);
}

}  // extern "C"

void *operator new(size_t size) { return surf_stress::newOrThrow(size); }
void *operator new[](size_t size) { return surf_stress::newOrThrow(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept {
  countAllocation();
  return __libc_malloc(size == 0 ? 1 : size);
}
void *operator new[](size_t size, const std::nothrow_t &) noexcept {
  countAllocation();
  return __libc_malloc(size == 0 ? 1 : size);
}
void *operator new(size_t size, std::align_val_t a) { return surf_stress::alignedNewOrThrow(size, a); }
void *operator new[](size_t size, std::align_val_t a) { return surf_stress::alignedNewOrThrow(size, a); }
void *operator new(size_t size, std::align_val_t a, const std::nothrow_t &) noexcept {
  countAllocation();
  return __libc_memalign(static_cast<size_t>(a), size == 0 ? 1 : size);
}
void *operator new[](size_t size, std::align_val_t a, const std::nothrow_t &) noexcept {
  countAllocation();
  return __libc_memalign(static_cast<size_t>(a), size == 0 ? 1 : size);
}

void operator delete(void *p) noexcept { countRelease(), __libc_free(p); }
void operator delete[](void *p) noexcept { countRelease(), __libc_free(p); }
void operator delete(void *p, size_t) noexcept { countRelease(), __libc_free(p); }
void operator delete[](void *p, size_t) noexcept { countRelease(), __libc_free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { countRelease(), __libc_free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { countRelease(), __libc_free(p); }
void operator delete(void *p, std::align_val_t) noexcept { countRelease(), __libc_free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { countRelease(), __libc_free(p); }
void operator delete(void *p, size_t, std::align_val_t) noexcept { countRelease(), __libc_free(p); }
void operator delete[](void *p, size_t, std::align_val_t) noexcept { countRelease(), __libc_free(p); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept {
  countRelease(), __libc_free(p);
}
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept {
  countRelease(), __libc_free(p);
}
