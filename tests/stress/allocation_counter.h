// allocation_counter.h - counts every heap allocation the process makes while armed.
//
// allocation_counter.cpp replaces malloc, calloc, realloc, reallocarray, free, the aligned
// allocators and every form of operator new and delete in the test executable. The executable
// exports them, so they interpose on these names for every shared object in the process, a
// module loaded later with dlopen included: its calls bind to these definitions, not glibc's.
// They forward to glibc's own entry points (__libc_malloc and friends, which glibc 2.36 still
// exports), so nothing but the counting changes.
#ifndef SURF_TESTS_STRESS_ALLOCATION_COUNTER_H
#define SURF_TESTS_STRESS_ALLOCATION_COUNTER_H

namespace surf_stress {

struct AllocationCounts {
  long allocations = 0;  // malloc, calloc, realloc, reallocarray, aligned forms, operator new
  long releases = 0;     // free, operator delete
};

// Counting is on between arm() and disarm() (process-wide); disarm() returns the counts.
void armAllocationCounter();
AllocationCounts disarmAllocationCounter();

}  // namespace surf_stress

#endif
