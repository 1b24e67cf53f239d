// The conversion run under faults the real file system cannot be made to show on demand: a full
// disk, a read-only or vanished folder, a medium pulled out, a crash inside a write, a read that
// hangs. What must hold: what is on disk, and what the user is told (once, when it would hit
// every further file).

#include "batch/ConversionRun.h"
#include "batch/RunMessages.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"
#include "platform/BoundedWait.h"
#include "platform/FileLayer.h"
#include "platform/FileSystem.h"
#include "platform/SafeReplace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

using namespace quill;

namespace {

// Fails or holds the calls of chosen files: the n-th output write, every output create, or the
// open of a file whose name ends so.
class FaultyLayer final : public FileLayer {
public:
    int failCreateWith = 0; // every output create fails with this error
    int failWriteWith = 0;  // output writes from the failWriteFrom-th on fail with this
    int failWriteFrom = 1;
    bool failWriteOnce = false;  // only that one write fails
    bool killInWrite = false;    // the process dies after writing half of an output
    bool noUnnamedFiles = false; // the file system has no O_TMPFILE
    QByteArray hangOn;           // opens of names ending so wait until released

    int open(const char* path, int flags, mode_t mode) override {
        if ((flags & O_TMPFILE) == O_TMPFILE || (flags & O_CREAT)) {
            if (failCreateWith != 0) {
                errno = failCreateWith;
                return -1;
            }
            if (noUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
                errno = EOPNOTSUPP;
                return -1;
            }
        } else if (!hangOn.isEmpty() && QByteArray(path).endsWith(hangOn)) {
            std::unique_lock lock(gate);
            released.wait(lock, [this] { return open_; });
        }
        return FileLayer::open(path, flags, mode);
    }
    ssize_t write(int fd, const void* data, std::size_t size) override {
        if (killInWrite) {
            FileLayer::write(fd, data, size / 2);
            ::raise(SIGKILL);
        }
        ++writes;
        if (failWriteWith != 0 && writes >= failWriteFrom &&
            (!failWriteOnce || writes == failWriteFrom)) {
            errno = failWriteWith;
            return -1;
        }
        return FileLayer::write(fd, data, size);
    }
    void release() {
        {
            const std::lock_guard lock(gate);
            open_ = true;
        }
        released.notify_all();
    }

    int writes = 0;

private:
    std::mutex gate;
    std::condition_variable released;
    bool open_ = false;
};

class Host final : public ConversionHost {
public:
    void report(const RunReport& report) override { told << report.text; }
    std::optional<QString> chooseTargetFolder() override { return std::nullopt; }
    void showOutput(const QImage&) override {}
    void progress(int taken, int) override {
        if (onProgress) {
            onProgress(taken);
        }
    }

    QStringList told;
    std::function<void(int)> onProgress;
};

struct FaultCase {
    const char* name;
    // Sets the fault up: the layer, and what happens to the folders as the run goes.
    std::function<void(FaultyLayer&, Host&, const QString& folder)> fault;
    int written;
    QStringList told;
    QStringList outputs; // what _Parvexo holds afterwards (hidden files included)
    bool folderMade = true;
};

class FaultsTest : public ::testing::TestWithParam<FaultCase> {};

QStringList outputsIn(const QString& folder) {
    return QDir(folder + "/_Parvexo")
        .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void writeJpeg(const QString& path) {
    QImage image(24, 16, QImage::Format_RGB888);
    image.fill(QColor(200, 40, 90));
    TJPEGImage writer;
    writer.Assign(image);
    writer.SaveToFile(path);
}

TEST_P(FaultsTest, TellsOnceWhatHitsEveryFileAndLeavesOnlyCompleteOutputs) {
    const FaultCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + "/pics";
    ASSERT_TRUE(QDir().mkpath(folder));
    ConversionSettings settings;
    settings.folder = folder;
    settings.overlay = defaultOverlaySettings();
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        writeJpeg(folder + "/" + name);
        settings.entries.push_back({QString::fromLatin1(name), false});
    }
    setCurrentDir(folder);
    auto layer = std::make_shared<FaultyLayer>();
    Host host;
    c.fault(*layer, host, folder);
    setFileLayer(layer);
    setFileWaitLimit(std::chrono::milliseconds(300));
    setConversionLookAhead(false);
    QImage working;
    QImage output;
    TJPEGImage jpeg;
    const ConversionResult result = RunBatchConversion(settings, working, output, jpeg, host);
    setFileLayer(nullptr);
    setFileWaitLimit(std::chrono::milliseconds(5000));
    setConversionLookAhead(true);
    layer->release();

    EXPECT_EQ(result.written, c.written);
    EXPECT_EQ(host.told, c.told);
    EXPECT_EQ(outputsIn(folder), c.outputs);
    for (const QString& name : outputsIn(folder)) {
        QImage written;
        EXPECT_TRUE(written.load(folder + "/_Parvexo/" + name)) << qPrintable(name);
    }
    EXPECT_EQ(QDir(folder + "/_Parvexo").exists(), c.folderMade);
    char cwd[4096];
    EXPECT_STREQ(::getcwd(cwd, sizeof cwd), "/") << "the process never sits in a shown folder";
}

const QStringList all{"a.jpg", "b.jpg", "c.jpg", "d.jpg"};

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultsTest,
    ::testing::Values(FaultCase{"DiskFull",
                                [](FaultyLayer& l, Host&, const QString&) {
                                    l.failWriteWith = ENOSPC;
                                    l.failWriteFrom = 3;
                                },
                                2,
                                {writeStoppedMessage(ENOSPC)},
                                {"a.jpg", "b.jpg"}},
                      FaultCase{"QuotaFullWithoutUnnamedFiles",
                                [](FaultyLayer& l, Host&, const QString&) {
                                    l.noUnnamedFiles = true;
                                    l.failWriteWith = EDQUOT;
                                    l.failWriteFrom = 2;
                                },
                                1,
                                {writeStoppedMessage(EDQUOT)},
                                {"a.jpg"}},
                      FaultCase{
                          "ReadOnlyFolder",
                          [](FaultyLayer& l, Host&, const QString&) { l.failCreateWith = EROFS; },
                          0,
                          {writeStoppedMessage(EROFS)},
                          {}},
                      FaultCase{"OutputFolderRemovedMidRun",
                                [](FaultyLayer&, Host& h, const QString& folder) {
                                    h.onProgress = [folder](int taken) {
                                        if (taken == 2) {
                                            QDir(folder + "/_Parvexo").removeRecursively();
                                        }
                                    };
                                },
                                1,
                                {writeStoppedMessage(ENOENT)},
                                {},
                                false},
                      FaultCase{"SourceFolderRemovedMidRun",
                                [](FaultyLayer&, Host& h, const QString& folder) {
                                    h.onProgress = [folder](int taken) {
                                        if (taken == 3) {
                                            QDir().rename(folder, folder + ".gone");
                                        }
                                    };
                                },
                                2,
                                {folderGoneMessage()},
                                {},
                                false},
                      FaultCase{"MediumUnmountedUnderTheShownFolder",
                                [](FaultyLayer&, Host&, const QString& folder) {
                                    // The bare mount point left behind: another folder at the same
                                    // path.
                                    ASSERT_TRUE(QDir().rename(folder, folder + ".medium"));
                                    ASSERT_TRUE(QDir().mkdir(folder));
                                },
                                0,
                                {folderGoneMessage()},
                                {},
                                false},
                      FaultCase{"OneWriteFails",
                                [](FaultyLayer& l, Host&, const QString&) {
                                    l.failWriteWith = EIO;
                                    l.failWriteFrom = 2;
                                    l.failWriteOnce = true;
                                },
                                3,
                                {writeFailedMessage()},
                                {"a.jpg", "c.jpg", "d.jpg"}},
                      FaultCase{"ReadThatHangs",
                                [](FaultyLayer& l, Host&, const QString&) { l.hangOn = "/b.jpg"; },
                                3,
                                {LoadOutcomeMessage(LoadInvalidJpeg)},
                                {"a.jpg", "c.jpg", "d.jpg"}}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

// A crash inside a write: killed with half an output written. Where the file system has unnamed
// files nothing is left; where it has not, the hidden temporary file is left and the next run's
// clean-up removes it, and nothing else.
TEST(KilledDuringWrite, LeavesNothingTheNextRunDoesNotRemove) {
    for (const bool unnamed : {true, false}) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString folder = dir.path() + "/_Parvexo";
        ASSERT_TRUE(QDir().mkdir(folder));
        for (const char* keep : {".keep.jpg.x", ".notes.txt.ABCDEF", "p.jpg"}) {
            QFile file(folder + "/" + keep);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("mine");
        }
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto layer = std::make_shared<FaultyLayer>();
            layer->killInWrite = true;
            layer->noUnnamedFiles = !unnamed;
            setFileLayer(layer);
            replaceFileSafely(folder + "/p.jpg", QByteArray(100000, 'x'));
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        const QStringList kept{".keep.jpg.x", ".notes.txt.ABCDEF", "p.jpg"};
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        EXPECT_EQ(left.size(), kept.size() + (unnamed ? 0 : 1)) << left.join(' ').toStdString();
        EXPECT_EQ(removeLeftoverTemporaries(folder), unnamed ? 0 : 1);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), kept);
        QFile original(folder + "/p.jpg");
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        EXPECT_EQ(original.readAll(), "mine");
    }
}

} // namespace
