#include "dragdrop/OleCallLog.h"

#include <utility>

namespace quill::ole {

namespace {
OleCallHook& hook() {
    static OleCallHook instance;
    return instance;
}
} // namespace

OleCallHook setOleCallHook(OleCallHook newHook) {
    return std::exchange(hook(), std::move(newHook));
}

void reportOleCall(const QString& call) {
    if (hook()) {
        hook()(call);
    }
}

OleCallRecorder::OleCallRecorder()
    : previous_(setOleCallHook([this](const QString& call) {
          calls_.append(call);
          if (previous_) {
              previous_(call);
          }
      })) {}

OleCallRecorder::~OleCallRecorder() {
    setOleCallHook(std::move(previous_));
}

} // namespace quill::ole
