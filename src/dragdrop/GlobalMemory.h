#pragma once
// Global memory blocks as the OLE data exchange uses them: handles that are allocated, locked to
// get at their bytes, unlocked and freed. A handle is a number that is never reused, so a stale or
// forged handle is refused instead of reaching freed memory.

#include "dragdrop/OleTypes.h"

#include <optional>

namespace quill::ole {

// Null when the block cannot be had. The bytes always start zeroed.
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
// The block's bytes, or null for a handle that is not a live block.
void* GlobalLock(HGLOBAL hMem);
// Nonzero while the block stays locked by someone else.
BOOL GlobalUnlock(HGLOBAL hMem);
// Null on success; the handle itself when it was not a live block.
HGLOBAL GlobalFree(HGLOBAL hMem);
// 0 for a handle that is not a live block.
SIZE_T GlobalSize(HGLOBAL hMem);

// Owns a block and frees it when it goes.
class GlobalBlock {
public:
    GlobalBlock() = default;
    explicit GlobalBlock(HGLOBAL handle) noexcept : handle_(handle) {}
    GlobalBlock(GlobalBlock&& other) noexcept;
    GlobalBlock& operator=(GlobalBlock&& other) noexcept;
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    ~GlobalBlock() { reset(); }

    HGLOBAL get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    HGLOBAL release() noexcept;
    void reset() noexcept;

private:
    HGLOBAL handle_ = nullptr;
};

// Keeps a block locked for a scope.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL handle) noexcept;
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard();

    // Null when the handle is not a live block.
    void* data() const noexcept { return data_; }
    SIZE_T size() const noexcept { return size_; }

private:
    HGLOBAL handle_;
    void* data_;
    SIZE_T size_;
};

// How many blocks are allocated and not yet freed.
int liveGlobalBlocks();

// The number of bytes from p to the end of the live block that holds p; none when no block holds
// it. Lets readers of a block never step past its end.
std::optional<SIZE_T> globalBytesFrom(const void* p);

// For tests of the out-of-memory paths: after the given number of further successful
// allocations every GlobalAlloc fails; a negative number ends that.
void failGlobalAllocAfter(int successes);

} // namespace quill::ole
