#include "platform/FileLayer.h"

#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace quill {

namespace {

std::mutex& layerLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<FileLayer>& installed() {
    static std::shared_ptr<FileLayer> layer = std::make_shared<FileLayer>();
    return layer;
}

} // namespace

int FileLayer::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

int FileLayer::fstat(int fd, struct stat* info) {
    return ::fstat(fd, info);
}

ssize_t FileLayer::read(int fd, void* data, std::size_t size) {
    return ::read(fd, data, size);
}

ssize_t FileLayer::write(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

std::shared_ptr<FileLayer> fileLayer() {
    const std::lock_guard lock(layerLock());
    return installed();
}

void setFileLayer(std::shared_ptr<FileLayer> layer) {
    const std::lock_guard lock(layerLock());
    installed() = layer ? std::move(layer) : std::make_shared<FileLayer>();
}

} // namespace quill
