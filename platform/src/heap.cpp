#include "platform/heap.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace korv::platform {

bool ReturnLargeBlocksToSystem() {
#if defined(M_MMAP_THRESHOLD)
  // Setting the threshold at all also stops glibc from moving it.
  return mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1;
#else
  return false;
#endif
}

}  // namespace korv::platform
