#include "platform/Memory.h"

#include <malloc.h>

namespace quill {

void keepLargePictureMemory() {
    // Blocks up to 512 MiB (a 170-megapixel picture) come from the heap and stay there for the
    // next picture; the heap is not trimmed after every free.
    constexpr int largest = 512 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, largest);
    mallopt(M_TRIM_THRESHOLD, 2 * largest);
    // One heap for every thread: a run decodes every other picture on a second thread, and a
    // heap of that thread's own would map (and fault in) each of its pictures afresh.
    mallopt(M_ARENA_MAX, 1);
}

} // namespace quill
