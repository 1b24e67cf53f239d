#pragma once
// Decoding a run's next file on a thread of its own while the window's thread works on the
// current one; the thread waits on a decoder process, which decodes it. The thread loads into a
// JPEG object and a picture of its own; the run takes them
// over at the file's turn, so the shared JPEG object (its progressive flag above all) sees the
// files in the run's order, whichever thread decoded them.

#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"

#include <QImage>
#include <QString>

#include <memory>
#include <optional>
#include <thread>

namespace quill {

class DecodeAhead {
public:
    DecodeAhead();
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Starts decoding path (absolute) for the list entry at index. Anything still held is
    // dropped first: at most one picture waits ahead.
    void start(int index, const QString& path);

    // The list index of the entry started last and not yet taken or dropped; -1 for none.
    int index() const { return index_; }

    // Waits until the decode has finished (it is then still held).
    void wait();

    // True when nothing is being decoded: the decode started last has finished, or none runs.
    bool done() const;

    // Waits for the decode and, when the file loaded, makes working its picture and hands what
    // the thread's JPEG object loaded to jpeg, exactly as loading it there would have, and returns
    // the load's result. Nothing when it did not load: the caller then loads it itself, so that
    // the failure is reported, and leaves its traces, from the run's own load. Nothing is held
    // afterwards.
    std::optional<LoadResult> take(QImage& working, TJPEGImage& jpeg);

    // Waits for the decode and forgets it.
    void drop();

private:
    struct Result;
    std::thread thread_;
    std::unique_ptr<Result> result_;
    int index_ = -1;
};

} // namespace quill
