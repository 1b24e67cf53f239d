#pragma once
// The system calls through which the window's process opens picture files and writes outputs.
// They go through one replaceable layer so that a full disk, a read-only or vanished folder or a
// file system that hangs, none of which the real one can be made into on demand, can stand in
// for it.

#include <cstddef>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>

namespace quill {

class FileLayer {
public:
    virtual ~FileLayer() = default;
    // As ::open, ::fstat, ::read and ::write: -1 and errno on failure.
    virtual int open(const char* path, int flags, mode_t mode);
    virtual int fstat(int fd, struct stat* info);
    virtual ssize_t read(int fd, void* data, std::size_t size);
    virtual ssize_t write(int fd, const void* data, std::size_t size);
};

// The layer in use, kept alive by the caller for as long as it uses it (a thread abandoned in a
// hanging call may outlive the next change).
std::shared_ptr<FileLayer> fileLayer();
// Replaces the layer; nullptr puts the system's back.
void setFileLayer(std::shared_ptr<FileLayer> layer);

} // namespace quill
