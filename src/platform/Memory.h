#pragma once

namespace quill {

// Lets the allocator keep and reuse the large blocks that decoded pictures take. By default
// glibc hands every block over 32 MiB straight back to the system, so each picture of a run
// would fault in and clear tens of megabytes of fresh pages: a fifth of a run's time. All
// threads share the one heap, so pictures decoded on another thread are kept as well.
void keepLargePictureMemory();

} // namespace quill
