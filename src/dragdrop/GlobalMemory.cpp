#include "dragdrop/GlobalMemory.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

namespace quill::ole {

namespace {

// No exchange of this program comes near this size; a larger request is a fault, not data.
constexpr SIZE_T kLargestBlock = SIZE_T{256} * 1024 * 1024;

struct Block {
    std::unique_ptr<std::byte[]> bytes;
    SIZE_T size = 0;
    int locks = 0;
};

struct Heap {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, Block> blocks;
    std::map<const std::byte*, std::uintptr_t> byAddress;
    std::uintptr_t nextId = 1;
    int allocationsLeft = -1;
};

Heap& heap() {
    static Heap instance;
    return instance;
}

std::uintptr_t idOf(HGLOBAL handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

Block* find(Heap& h, HGLOBAL handle) {
    const auto it = h.blocks.find(idOf(handle));
    return it == h.blocks.end() ? nullptr : &it->second;
}

} // namespace

HGLOBAL GlobalAlloc(UINT /*uFlags*/, SIZE_T dwBytes) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    if (dwBytes > kLargestBlock || h.allocationsLeft == 0) {
        return nullptr;
    }
    Block block;
    try {
        // Always zeroed: a block never shows stale bytes, with or without GMEM_ZEROINIT.
        block.bytes = std::make_unique<std::byte[]>(dwBytes == 0 ? 1 : dwBytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    block.size = dwBytes;
    if (h.allocationsLeft > 0) {
        --h.allocationsLeft;
    }
    const std::uintptr_t id = h.nextId++;
    h.byAddress.emplace(block.bytes.get(), id);
    h.blocks.emplace(id, std::move(block));
    return reinterpret_cast<HGLOBAL>(id);
}

void* GlobalLock(HGLOBAL hMem) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    Block* block = find(h, hMem);
    if (block == nullptr) {
        return nullptr;
    }
    ++block->locks;
    return block->bytes.get();
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    Block* block = find(h, hMem);
    if (block == nullptr || block->locks == 0) {
        return 0;
    }
    --block->locks;
    return block->locks > 0 ? 1 : 0;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    const auto it = h.blocks.find(idOf(hMem));
    if (it == h.blocks.end()) {
        return hMem;
    }
    h.byAddress.erase(it->second.bytes.get());
    h.blocks.erase(it);
    return nullptr;
}

SIZE_T GlobalSize(HGLOBAL hMem) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    const Block* block = find(h, hMem);
    return block == nullptr ? 0 : block->size;
}

int liveGlobalBlocks() {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    return static_cast<int>(h.blocks.size());
}

std::optional<SIZE_T> globalBytesFrom(const void* p) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    const auto* address = static_cast<const std::byte*>(p);
    auto it = h.byAddress.upper_bound(address);
    if (it == h.byAddress.begin()) {
        return std::nullopt;
    }
    --it;
    const Block& block = h.blocks.at(it->second);
    const auto offset = static_cast<SIZE_T>(address - it->first);
    if (offset >= block.size) {
        return std::nullopt;
    }
    return block.size - offset;
}

void failGlobalAllocAfter(int successes) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    h.allocationsLeft = successes < 0 ? -1 : successes;
}

GlobalBlock::GlobalBlock(GlobalBlock&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

GlobalBlock& GlobalBlock::operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
        reset();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

HGLOBAL GlobalBlock::release() noexcept {
    return std::exchange(handle_, nullptr);
}

void GlobalBlock::reset() noexcept {
    if (HGLOBAL handle = std::exchange(handle_, nullptr)) {
        GlobalFree(handle);
    }
}

GlobalLockGuard::GlobalLockGuard(HGLOBAL handle) noexcept
    : handle_(handle), data_(GlobalLock(handle)), size_(data_ ? GlobalSize(handle) : 0) {}

GlobalLockGuard::~GlobalLockGuard() {
    if (data_ != nullptr) {
        GlobalUnlock(handle_);
    }
}

} // namespace quill::ole
