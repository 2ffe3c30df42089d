// A module linked exactly like the plug-in (static C++ runtime, no undefined symbols) that does
// allocate: the allocation test loads it to show that the counter sees what such a module does.
#include <cstdlib>
#include <new>

namespace {
// The blocks escape through these, so the compiler cannot drop a new/delete pair.
void *volatile block;
int *volatile array;
}  // namespace

extern "C" __attribute__((visibility("default"))) int allocateAndRelease(int count) {
  int made = 0;
  for (int k = 0; k < count; ++k) {
    block = std::malloc(32);
    array = new int[8];
    made += (block != nullptr) + (array != nullptr);
    delete[] array;
    std::free(block);
  }
  return made;
}
