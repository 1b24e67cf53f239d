#pragma once
// Work on a file that the window must not wait for beyond a limit: a file system that hangs
// (a network share gone, a failing medium) holds a read or even an open in the kernel for as
// long as it likes. The work runs on a thread of its own; when it has not finished in time the
// caller goes on without it, and the thread, which nothing can take out of the kernel, is left
// to end whenever the call returns, cleaning up after itself.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace quill {

// How long the window waits for a picture file: the decoder's own limit for a small picture.
std::chrono::milliseconds fileWaitLimit();
void setFileWaitLimit(std::chrono::milliseconds limit);

namespace bounded_wait {
// Threads still inside a call the window gave up on. Past a few of them the file system is
// taken as hanging as a whole, and no more threads are spent on it.
bool mayStartAnother();
void started();
void finished();
} // namespace bounded_wait

// Runs work within the limit: its result, or nothing when it did not finish in time (or no
// thread could be had). A result that comes too late is destroyed on the work's thread.
template <typename Result>
std::optional<Result> runWithin(std::chrono::milliseconds limit, std::function<Result()> work) {
    struct Shared {
        std::mutex lock;
        std::condition_variable done;
        std::optional<Result> result;
        bool finished = false;
    };
    if (!bounded_wait::mayStartAnother()) {
        return std::nullopt;
    }
    auto shared = std::make_shared<Shared>();
    try {
        bounded_wait::started();
        std::thread([shared, work = std::move(work)] {
            std::optional<Result> result;
            try {
                result.emplace(work());
            } catch (...) {
                // Nothing may leave the thread: a failed work is one that gave no result.
            }
            {
                const std::lock_guard lock(shared->lock);
                shared->result = std::move(result);
                shared->finished = true;
            }
            shared->done.notify_all();
            bounded_wait::finished();
        }).detach();
    } catch (...) {
        bounded_wait::finished();
        return std::nullopt;
    }
    std::unique_lock lock(shared->lock);
    if (!shared->done.wait_for(lock, limit, [&] { return shared->finished; })) {
        return std::nullopt;
    }
    return std::move(shared->result);
}

} // namespace quill
