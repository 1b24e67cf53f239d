#pragma once
// The program's log: Qt logging categories, quiet apart from warnings unless QT_LOGGING_RULES
// turns more on, for example QT_LOGGING_RULES="quillmere.*.debug=true".
//
//   quillmere.load     every picture load: the file, and why one failed or is damaged
//   quillmere.decoder  the decoder process: requests, results, exit status or signal, time-outs,
//                      and what the decoder itself wrote to its error output
//   quillmere.run      the conversion and rename runs: each file taken, written or skipped

#include <QLoggingCategory>

namespace quill {

Q_DECLARE_LOGGING_CATEGORY(lcLoad)
Q_DECLARE_LOGGING_CATEGORY(lcDecoder)
Q_DECLARE_LOGGING_CATEGORY(lcRun)

} // namespace quill
