// Global memory blocks and the CF_HDROP file list: its byte layout and DragQueryFileA's reading
// of it, including lists that end badly.

#include "dragdrop/DropFiles.h"
#include "dragdrop/GlobalMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace quill::ole;

TEST(GlobalMemory, BlocksAreZeroedLockedCountedAndFreedOnce) {
    const int blocks = liveGlobalBlocks();
    HGLOBAL handle = GlobalAlloc(GHND | GMEM_SHARE, 64);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(liveGlobalBlocks(), blocks + 1);
    EXPECT_EQ(GlobalSize(handle), 64u);

    auto* bytes = static_cast<unsigned char*>(GlobalLock(handle));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(bytes[i], 0) << i;
    }
    EXPECT_EQ(globalBytesFrom(bytes), 64u);
    EXPECT_EQ(globalBytesFrom(bytes + 60), 4u);
    EXPECT_FALSE(globalBytesFrom(bytes + 64).has_value());
    EXPECT_EQ(GlobalLock(handle), bytes);
    EXPECT_NE(GlobalUnlock(handle), 0); // still locked once
    EXPECT_EQ(GlobalUnlock(handle), 0);
    EXPECT_EQ(GlobalUnlock(handle), 0); // not locked at all

    EXPECT_EQ(GlobalFree(handle), nullptr);
    EXPECT_EQ(liveGlobalBlocks(), blocks);
    // A stale handle is refused everywhere, and never names a later block.
    EXPECT_EQ(GlobalFree(handle), handle);
    EXPECT_EQ(GlobalLock(handle), nullptr);
    EXPECT_EQ(GlobalSize(handle), 0u);
    HGLOBAL next = GlobalAlloc(GHND, 64);
    EXPECT_NE(next, handle);
    GlobalFree(next);
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(0xDEADBEEF)), nullptr);
}

TEST(GlobalMemory, ImpossibleAndForcedFailuresGiveNoBlock) {
    const int blocks = liveGlobalBlocks();
    EXPECT_EQ(GlobalAlloc(GHND, SIZE_T{1} << 40), nullptr);
    failGlobalAllocAfter(1);
    GlobalBlock first(GlobalAlloc(GHND, 8));
    GlobalBlock second(GlobalAlloc(GHND, 8));
    failGlobalAllocAfter(-1);
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(liveGlobalBlocks(), blocks + 1);
    first.reset();
    EXPECT_EQ(liveGlobalBlocks(), blocks);
}

TEST(DropFilesBlock, HeaderOffsetTwentyAnsiPathsAndTwoNuls) {
    const std::vector<QByteArray> paths = {"/a/b.jpg", "/c/Grüße.png"};
    GlobalBlock block(makeDropFiles(paths));
    ASSERT_TRUE(block);
    const GlobalLockGuard lock(block.get());
    const auto* bytes = static_cast<const unsigned char*>(lock.data());
    const size_t expected = 20 + 9 + (paths[1].size() + 1) + 1;
    ASSERT_EQ(lock.size(), expected);
    // pFiles = 20, pt = (0, 0), fNC = false, fWide = false, little-endian 32-bit fields.
    const unsigned char header[20] = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, header, 20), 0);
    EXPECT_EQ(std::memcmp(bytes + 20, "/a/b.jpg\0", 9), 0);
    EXPECT_EQ(std::memcmp(bytes + 29, paths[1].constData(), paths[1].size()), 0);
    EXPECT_EQ(bytes[expected - 2], 0);
    EXPECT_EQ(bytes[expected - 1], 0);

    GlobalBlock empty(makeDropFiles({}));
    EXPECT_EQ(GlobalSize(empty.get()), 22u);
}

TEST(DragQueryFileA, CountsMeasuresCopiesAndCutsToTheBuffer) {
    GlobalBlock block(makeDropFiles({"/x/eins.jpg", "/x/zwei.jpg", "/x/drei.jpg"}));
    const GlobalLockGuard lock(block.get());
    const HDROP drop = lock.data();
    EXPECT_EQ(DragQueryFileA(drop, kDragQueryCount, nullptr, 0), 3u);
    EXPECT_EQ(DragQueryFileA(drop, 1, nullptr, 0), 11u);
    char buffer[32];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(DragQueryFileA(drop, 2, buffer, sizeof buffer), 11u);
    EXPECT_STREQ(buffer, "/x/drei.jpg");
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(DragQueryFileA(drop, 0, buffer, 5), 4u);
    EXPECT_STREQ(buffer, "/x/e");
    EXPECT_EQ(buffer[5], 'X');
    EXPECT_EQ(DragQueryFileA(drop, 0, buffer, 0), 0u);
    EXPECT_EQ(DragQueryFileA(drop, 3, buffer, sizeof buffer), 0u);
    EXPECT_EQ(DragQueryFileA(nullptr, kDragQueryCount, nullptr, 0), 0u);
}

TEST(DragQueryFileA, NeverReadsPastTheEndOfABlockThatLacksItsNuls) {
    // A list whose last path runs into the end of its block: the cut name is not a path.
    GlobalBlock block(GlobalAlloc(GHND, 20 + 6 + 4));
    const GlobalLockGuard lock(block.get());
    auto* bytes = static_cast<char*>(lock.data());
    const DROPFILES header{20, {0, 0}, 0, 0};
    std::memcpy(bytes, &header, 20);
    std::memcpy(bytes + 20, "/a.jp\0/bcd", 10);
    EXPECT_EQ(DragQueryFileA(bytes, kDragQueryCount, nullptr, 0), 1u);

    // An offset beyond the block lists nothing.
    const DROPFILES far{4096, {0, 0}, 0, 0};
    std::memcpy(bytes, &far, 20);
    EXPECT_EQ(DragQueryFileA(bytes, kDragQueryCount, nullptr, 0), 0u);
}

TEST(DragQueryFileA, ReadsWideListsAsLocalBytesAndHandMadeBlocksOutsideGlobalMemory) {
    const std::u16string names = u"/w/Grüße.jpg";
    std::vector<char> bytes(20 + (names.size() + 2) * 2, 0);
    const DROPFILES header{20, {0, 0}, 0, 1};
    std::memcpy(bytes.data(), &header, 20);
    std::memcpy(bytes.data() + 20, names.data(), names.size() * 2);
    char buffer[64];
    EXPECT_EQ(DragQueryFileA(bytes.data(), kDragQueryCount, nullptr, 0), 1u);
    DragQueryFileA(bytes.data(), 0, buffer, sizeof buffer);
    EXPECT_EQ(QString::fromUtf8(buffer), QString::fromUtf16(names.data(), names.size()));

    QByteArray ansi(20, '\0');
    const DROPFILES plain{20, {0, 0}, 0, 0};
    std::memcpy(ansi.data(), &plain, 20);
    ansi.append("/h/one.jpg").append('\0').append("/h/two.jpg").append('\0').append('\0');
    EXPECT_EQ(DragQueryFileA(ansi.constData(), kDragQueryCount, nullptr, 0), 2u);
    DragQueryFileA(ansi.constData(), 1, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "/h/two.jpg");
}
