#include "batch/ConversionRun.h"

#include "batch/DecodeAhead.h"
#include "batch/Naming.h"
#include "batch/OutputFolder.h"
#include "batch/RunMessages.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"
#include "imaging/Rotate.h"
#include "imaging/Scale.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Logging.h"
#include "platform/SafeReplace.h"
#include "platform/SingleFileRename.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <exception>
#include <new>
#include <set>

namespace quill {

int countTaken(const std::vector<BatchEntry>& entries, bool takeAll) {
    int taken = 0;
    for (const BatchEntry& entry : entries) {
        if (takeAll || entry.selected) {
            ++taken;
        }
    }
    return taken;
}

namespace {

std::atomic<bool> lookAheadOn{true};

// How one taken file ended.
enum class Converted { Written, NotWritten, StopRun };

// The files of the listed folder, whatever names or links lead to them: no output may land on
// one of them.
std::set<FileIdentity> originalsOf(const ConversionSettings& settings) {
    std::set<FileIdentity> originals;
    for (const BatchEntry& entry : settings.entries) {
        if (const auto identity = fileIdentity(joinPath(settings.folder, entry.name))) {
            originals.insert(*identity);
        }
    }
    return originals;
}

// An output name that left its folder, or an output path that is one of the run's originals
// (an output folder that is the listed folder itself, a link in the output folder), is never
// written.
bool isSafeOutput(const QString& outputName, const QString& outputPath,
                  const std::set<FileIdentity>& originals) {
    if (!isPlainName(outputName)) {
        return false;
    }
    const std::optional<FileIdentity> existing = fileIdentity(outputPath);
    return !existing || !originals.contains(*existing);
}

// Tells the host and the log.
void tell(ConversionHost& host, RunNotice notice, const QString& file, const QString& text) {
    qCDebug(lcRun).noquote() << "told:" << file << "-" << text;
    host.report({notice, file, text});
}

// One taken file, from decoding to writing.
template <typename Load>
Converted convertOne(const ConversionSettings& settings, const QString& name,
                     const QString& outputPath, QSize overlayExtent, QImage& working,
                     QImage& output, TJPEGImage& jpeg, ConversionHost& host, Load&& load) {
    const LoadResult loaded = load();
    if (loaded.outcome != LoadOk) {
        // A medium pulled out, or the folder removed: every further file would fail alike.
        if (!isFolderAsEntered(settings.folder)) {
            tell(host, RunNotice::Stopped, name, folderGoneMessage());
            return Converted::StopRun;
        }
        tell(host, RunNotice::LoadFailed, name, LoadOutcomeMessage(loaded.outcome));
        return Converted::NotWritten;
    }
    if (loaded.damaged) {
        tell(host, RunNotice::Damaged, name, DamagedFileMessage(name));
    }
    if (working.width() <= 0 || working.height() <= 0) {
        qCDebug(lcRun).noquote() << "skipped, no picture:" << name;
        return Converted::NotWritten;
    }
    if (settings.transformCode != 0) {
        RotateAndMirror(working, settings.transformCode);
    }
    scaleToOutput(working, output, settings.sizeRule);
    if (settings.stampOverlay) {
        StampOverlayText(output, settings.overlay, overlayExtent);
    }
    host.showOutput(output);
    try {
        jpeg.Assign(output);
        jpeg.SaveToFile(outputPath);
    } catch (const Failure& failure) {
        const int error = lastReplaceError();
        qCDebug(lcRun).noquote() << "write failed:" << outputPath << "-" << failure.text()
                                 << "- error" << error;
        if (failsEveryWrite(error)) {
            tell(host, RunNotice::Stopped, name, writeStoppedMessage(error));
            return Converted::StopRun;
        }
        tell(host, RunNotice::WriteFailed, name, writeFailedMessage());
        return Converted::NotWritten;
    }
    qCDebug(lcRun).noquote() << "written:" << outputPath;
    return Converted::Written;
}

} // namespace

void setConversionLookAhead(bool on) {
    lookAheadOn = on;
}

bool conversionLookAhead() {
    return lookAheadOn;
}

bool failsEveryWrite(int error) {
    switch (error) {
    case ENOENT:
    case EROFS:
    case EACCES:
    case ENOSPC:
    case EDQUOT:
        return true;
    default:
        return false;
    }
}

ConversionResult RunBatchConversion(const ConversionSettings& settings, QImage& working,
                                    QImage& output, TJPEGImage& jpeg, ConversionHost& host) {
    ConversionResult result;
    const QSize overlayExtent = PrepareOverlay(settings.overlay);
    // A medium unmounted under the listed folder leaves its bare mount point: nothing may be made
    // there, nor read from it as if it were the folder the user chose.
    if (!settings.folder.isEmpty() && !isFolderAsEntered(settings.folder)) {
        tell(host, RunNotice::Stopped, {}, folderGoneMessage());
        result.completed = true;
        result.stopped = true;
        return result;
    }

    const std::optional<QString> folder = FixOutputFolder(
        settings.folder, [&host] { return host.chooseTargetFolder(); },
        [&host](const QString& text) { tell(host, RunNotice::OutputFolderFailed, {}, text); });
    if (!folder) {
        return result;
    }
    const QString outputFolder = *folder + QLatin1Char('/');
    // What a crash in an earlier run's write left there.
    if (const int removed = removeLeftoverTemporaries(*folder); removed > 0) {
        qCDebug(lcRun).noquote() << "removed" << removed << "unfinished outputs of earlier runs";
    }

    const std::set<FileIdentity> originals = originalsOf(settings);
    const int total = countTaken(settings.entries, settings.takeAll);
    const int count = static_cast<int>(settings.entries.size());
    const auto isTaken = [&settings](int index) {
        return settings.takeAll || settings.entries[static_cast<std::size_t>(index)].selected;
    };
    // Both cores decode all through the run. Files are decoded ahead on threads of their own:
    // as a file decoded ahead is taken, the next one starts unless it runs already, so that a
    // decode always overlaps finishing a picture; and while this thread would only wait for a
    // decode, the one after runs beside it. At most one decoded picture ever waits for its turn.
    std::array<DecodeAhead, 2> ahead;
    const bool decodeAhead = lookAheadOn;
    int started = -1; // the list index of the last decode started ahead
    const auto slotOf = [&ahead](int index) -> DecodeAhead* {
        for (DecodeAhead& slot : ahead) {
            if (slot.index() == index) {
                return &slot;
            }
        }
        return nullptr;
    };
    const auto startNext = [&](int after) {
        int next = std::max(after, started) + 1;
        while (next < count && !isTaken(next)) {
            ++next;
        }
        DecodeAhead* free = slotOf(-1);
        if (!decodeAhead || next >= count || free == nullptr) {
            return;
        }
        free->start(
            next, joinPath(settings.folder, settings.entries[static_cast<std::size_t>(next)].name));
        started = next;
        host.decodingAhead(next);
    };
    int taken = 0;
    for (int index = 0; index < count; ++index) {
        const BatchEntry& entry = settings.entries[static_cast<std::size_t>(index)];
        if (!isTaken(index)) {
            continue;
        }
        const auto load = [&]() -> LoadResult {
            std::optional<LoadResult> loaded;
            if (DecodeAhead* slot = slotOf(index)) {
                if (!slot->done()) {
                    startNext(index);
                }
                loaded = slot->take(working, jpeg);
            }
            if (ahead[0].index() < 0 && ahead[1].index() < 0) {
                startNext(index);
            }
            // Not loaded ahead: loaded now, so that a failure is reported, and leaves its
            // traces, from this load.
            return loaded ? *loaded
                          : LoadPictureFile(working, jpeg, joinPath(settings.folder, entry.name));
        };
        result.lastProcessedIndex = index;
        host.progress(++taken, total);
        const NameParts parts = SplitFileName(entry.name);
        const QString outputName =
            ApplyNameAffix(parts.baseName, settings.affix, settings.postFix) +
            QLatin1String(".jpg");
        const QString outputPath = outputFolder + outputName;
        if (!isSafeOutput(outputName, outputPath, originals)) {
            if (DecodeAhead* slot = slotOf(index)) {
                slot->drop();
            }
            tell(host, RunNotice::OriginalInTheWay, entry.name,
                 originalInTheWayMessage(outputName));
            continue;
        }
        // A failure outside the guarded steps (a picture too large to turn or size, memory
        // running out) costs this file only, never the run or the "Start" button.
        try {
            const Converted converted = convertOne(settings, entry.name, outputPath, overlayExtent,
                                                   working, output, jpeg, host, load);
            if (converted == Converted::Written) {
                ++result.written;
            } else if (converted == Converted::StopRun) {
                result.stopped = true;
                break;
            }
        } catch (const std::bad_alloc&) {
            tell(host, RunNotice::Failed, entry.name, outOfMemoryMessage(entry.name));
        } catch (...) {
            tell(host, RunNotice::Failed, entry.name, failureText(std::current_exception()));
        }
    }
    // The outputs' names reach the disk before the run says it is done, so that a power cut
    // afterwards never takes back what it wrote.
    if (result.written > 0 && outputFolderSync() && !syncFolder(*folder)) {
        qCWarning(lcRun).noquote() << "the output folder could not be synced:" << *folder;
    }
    result.completed = true;
    return result;
}

} // namespace quill
