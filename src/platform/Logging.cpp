#include "platform/Logging.h"

namespace quill {

Q_LOGGING_CATEGORY(lcLoad, "quillmere.load", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDecoder, "quillmere.decoder", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRun, "quillmere.run", QtWarningMsg)

} // namespace quill
