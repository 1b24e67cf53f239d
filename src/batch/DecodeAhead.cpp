#include "batch/DecodeAhead.h"

#include <atomic>
#include <exception>

namespace quill {

struct DecodeAhead::Result {
    LoadResult loaded{LoadFailed, QString()};
    QImage picture;
    TJPEGImage jpeg;
    std::atomic<bool> finished{false};
};

DecodeAhead::DecodeAhead() = default;

DecodeAhead::~DecodeAhead() {
    drop();
}

void DecodeAhead::start(int index, const QString& path) {
    drop();
    // A thread that cannot be had (no memory, no more threads) only means no decoding ahead:
    // the file is loaded in its turn.
    try {
        auto result = std::make_unique<Result>();
        // The same load as in the file's turn, into objects of the thread's own; nothing may
        // leave the thread as an exception.
        thread_ = std::thread([result = result.get(), path] {
            try {
                result->loaded = LoadPictureFile(result->picture, result->jpeg, path);
            } catch (...) {
                result->loaded = LoadResult{LoadFailed, QStringLiteral("the decode ahead failed")};
            }
            result->finished = true;
        });
        result_ = std::move(result);
        index_ = index;
    } catch (...) {
        result_.reset();
        index_ = -1;
    }
}

bool DecodeAhead::done() const {
    return !result_ || result_->finished;
}

void DecodeAhead::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::optional<LoadResult> DecodeAhead::take(QImage& working, TJPEGImage& jpeg) {
    wait();
    const std::unique_ptr<Result> result = std::move(result_);
    index_ = -1;
    if (!result || result->loaded.outcome != LoadOk) {
        return std::nullopt;
    }
    // Only a ".jpg" load fills the thread's JPEG object; other formats leave it empty, as they
    // leave the shared one.
    if (!result->jpeg.Empty()) {
        jpeg.TakeLoaded(std::move(result->jpeg));
    }
    working = std::move(result->picture);
    return result->loaded;
}

void DecodeAhead::drop() {
    wait();
    result_.reset();
    index_ = -1;
}

} // namespace quill
