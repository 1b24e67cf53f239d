#pragma once
// The conversion run behind "Start": every taken file of the listed folder is decoded, turned,
// sized, stamped and written as a JPEG into "_Parvexo". The window's side (the target folder
// dialog, the preview, progress) is reached through ConversionHost.

#include "imaging/Overlay.h"
#include "imaging/SizeRules.h"

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

namespace quill {

class TJPEGImage;

struct BatchEntry {
    QString name; // the file list's entry: a bare name in the listed folder
    bool selected = false;
};

// Everything the run reads from the window, read once when it starts.
struct ConversionSettings {
    QString folder; // the listed folder
    std::vector<BatchEntry> entries;
    bool takeAll = true; // "Alle"; otherwise only the selected entries
    QString affix;
    bool postFix = true;
    SizeRule sizeRule;
    int transformCode = 0;
    bool stampOverlay = false;
    OverlaySettings overlay;
};

// Why the run tells the user something.
enum class RunNotice {
    OutputFolderFailed, // "_Parvexo" could not be made; the target folder dialog follows
    LoadFailed,         // the file gave no picture; the run goes on with the next
    Damaged,            // the picture is incomplete; it is converted all the same
    OriginalInTheWay,   // the output would replace an original; it is not written
    WriteFailed,        // the output could not be written
    Stopped,            // every further file would fail the same way: the run ends here
    Failed,             // anything else that went wrong with this file
};

// One thing the run tells the user: why, about which file (the list entry; empty for the run
// itself), and the text to show.
struct RunReport {
    RunNotice notice;
    QString file;
    QString text;
};

class ConversionHost {
public:
    virtual ~ConversionHost() = default;
    // The run never shows anything itself: the host decides how the user is told, in this order.
    virtual void report(const RunReport& report) = 0;
    // The target folder dialog: the chosen parent folder, or nothing when it was cancelled.
    virtual std::optional<QString> chooseTargetFolder() = 0;
    // Shows the sized (and stamped) output picture in the preview.
    virtual void showOutput(const QImage& output) = 0;
    // Called before each taken file and once at the end; taken of total files.
    virtual void progress(int taken, int total) = 0;
    // The run has started decoding the list entry at index ahead of its turn.
    virtual void decodingAhead(int /*index*/) {}
};

struct ConversionResult {
    bool completed = false;     // false: the target folder dialog was cancelled
    int lastProcessedIndex = 0; // the list index of the last entry taken up
    int written = 0;            // output files written
    bool stopped = false;       // ended early by a failure that every further file would meet
};

// Entries the run takes: all with takeAll, otherwise the selected ones.
int countTaken(const std::vector<BatchEntry>& entries, bool takeAll);

// Whether a run decodes the next file while it finishes the current one (on unless switched off,
// which tests and benchmarks do to compare with the plain order).
void setConversionLookAhead(bool on);
bool conversionLookAhead();

// Whether a write failure with this error number would meet every further output of the run:
// the output folder has gone, is read-only or refuses us, or its disk or quota is full. A file
// that refuses alone (EPERM of an immutable output, EIO of a bad block) is that file's failure.
bool failsEveryWrite(int error);

// Runs the conversion; `working` and `output` are the window's two bitmaps, `jpeg` the shared
// JPEG object with the quality already set. Per-file failures are reported to the host and the
// run goes on with the next file; a failure that every further file would meet (the output
// folder full, read-only or gone, the listed folder gone) is reported once and ends the run.
ConversionResult RunBatchConversion(const ConversionSettings& settings, QImage& working,
                                    QImage& output, TJPEGImage& jpeg, ConversionHost& host);

} // namespace quill
