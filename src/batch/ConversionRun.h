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

class ConversionHost {
public:
    virtual ~ConversionHost() = default;
    // The target folder dialog: the chosen parent folder, or nothing when it was cancelled.
    virtual std::optional<QString> chooseTargetFolder() = 0;
    // Shows the sized (and stamped) output picture in the preview.
    virtual void showOutput(const QImage& output) = 0;
    // Called before each taken file and once at the end; taken of total files.
    virtual void progress(int taken, int total) = 0;
};

struct ConversionResult {
    bool completed = false;     // false: the target folder dialog was cancelled
    int lastProcessedIndex = 0; // the list index of the last entry taken up
    int written = 0;            // output files written
};

// Entries the run takes: all with takeAll, otherwise the selected ones.
int countTaken(const std::vector<BatchEntry>& entries, bool takeAll);

// Whether a run decodes the next file while it finishes the current one (on unless switched off,
// which tests and benchmarks do to compare with the plain order).
void setConversionLookAhead(bool on);
bool conversionLookAhead();

// Runs the conversion; `working` and `output` are the window's two bitmaps, `jpeg` the shared
// JPEG object with the quality already set. Per-file failures are reported in message boxes and
// the run goes on with the next file.
ConversionResult RunBatchConversion(const ConversionSettings& settings, QImage& working,
                                    QImage& output, TJPEGImage& jpeg, ConversionHost& host);

} // namespace quill
