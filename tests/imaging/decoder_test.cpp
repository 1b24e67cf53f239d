// The decoder process as a service (start, stop, failure of the process in every way) and the
// header checks it relies on, which are our own parsers and safe to run here.

#include "LoadingExpect.h"
#include "decoder/FreeImageDecode.h"
#include "decoder/Lockdown.h"
#include "decoder/PictureHeaders.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <string_view>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quill {
namespace {

using namespace test::fixtures;
using namespace std::chrono_literals;

// The processes this process's threads have started and not yet reaped.
QList<int> childProcesses() {
    QList<int> pids;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + QStringLiteral("/children"));
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& pid : file.readAll().simplified().split(' ')) {
                if (!pid.isEmpty()) {
                    pids << pid.toInt();
                }
            }
        }
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

// How many descriptors of this process are open on file.
int descriptorsOf(const QString& file) {
    const QString target = QFileInfo(file).canonicalFilePath();
    int count = 0;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System)) {
        count += fd.symLinkTarget() == target ? 1 : 0;
    }
    return count;
}

class DecoderService : public ::testing::Test {
protected:
    void SetUp() override {
        // Put back what was found, not a literal: a wrong default must not be papered over.
        timeoutBefore = decoderTimeout();
        startDecoderService();
        DibPtr dib = dibFromImage(quadrants());
        good = dir.filePath(QStringLiteral("good.png"));
        ASSERT_TRUE(saveDib(dib.get(), FIF_PNG, good));
    }
    void TearDown() override {
        setDecoderExecutable(QString());
        setDecoderTimeout(timeoutBefore);
        stopDecoderService();
    }

    // The scripted decoder under a name that chooses its script.
    QString scripted(const QString& script) {
        const QString link = dir.filePath(QStringLiteral("decoder-") + script);
        QFile::link(QStringLiteral(QUILL_SCRIPTED_DECODER), link);
        return link;
    }

    // A stand-in decoder: a shell script with the given body.
    QString fakeDecoder(const QString& name, const QByteArray& body) {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(writeBytes(file, "#!/bin/sh\n" + body + "\n"));
        ::chmod(QFile::encodeName(file).constData(), 0755);
        return file;
    }

    bool loadsGood() {
        return LoadPictureFile(bitmap, jpeg, good) == LoadOk && showsQuadrants(bitmap, 16, 12);
    }

    QTemporaryDir dir;
    QString good;
    QImage bitmap;
    TJPEGImage jpeg;
    std::chrono::milliseconds timeoutBefore{};
};

TEST(DecoderTimeLimit, IsTwentySecondsInAFreshProcess) {
    // The program never sets the limit, so the service's own default is what it uses. Asked in a
    // process of its own, since other tests here change the limit.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            startDecoderService(); // as the main window does when it opens
            std::_Exit(decoderTimeout() == 20s ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DecoderService, FindsTheDecoderBesideTheProgram) {
    const QFileInfo decoder(decoderExecutable());
    EXPECT_TRUE(decoder.isExecutable());
    EXPECT_EQ(decoder.fileName(), QStringLiteral("quillmere-decoder"));
    EXPECT_EQ(decoder.absolutePath(),
              QFileInfo(QCoreApplication::applicationFilePath()).absolutePath());
    setDecoderExecutable(QStringLiteral("/somewhere/else"));
    EXPECT_EQ(decoderExecutable(), QStringLiteral("/somewhere/else"));
    setDecoderExecutable(QString());
    EXPECT_EQ(QFileInfo(decoderExecutable()), decoder);
}

// Installed, the program lies in bin/ and its decoder in the private libexec/quillmere/; the way
// between them is all the program knows, so a tree copied anywhere still decodes.
TEST_F(DecoderService, FindsTheDecoderInThePrivateFolderOfAnInstalledTree) {
    const QString bin = dir.filePath(QStringLiteral("usr/bin"));
    const QString privateDir = dir.filePath(QStringLiteral("usr/libexec/quillmere"));
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(privateDir));
    const QString installed = privateDir + QStringLiteral("/quillmere-decoder");
    ASSERT_TRUE(QFile::copy(decoderExecutable(), installed));

    EXPECT_EQ(decoderExecutableFor(bin), installed);
    setDecoderExecutable(decoderExecutableFor(bin));
    EXPECT_TRUE(loadsGood());

    // A file of that name beside the program that cannot run is not taken.
    ASSERT_TRUE(writeBytes(bin + QStringLiteral("/quillmere-decoder"), "not a program"));
    ::chmod(QFile::encodeName(bin + QStringLiteral("/quillmere-decoder")).constData(), 0644);
    EXPECT_EQ(decoderExecutableFor(bin), installed);
    // One that can (the build tree) is.
    ::chmod(QFile::encodeName(bin + QStringLiteral("/quillmere-decoder")).constData(), 0755);
    EXPECT_EQ(decoderExecutableFor(bin), bin + QStringLiteral("/quillmere-decoder"));
}

TEST_F(DecoderService, EveryWayTheDecoderCanFailGivesTheLoadFailureAndTheNextLoadWorks) {
    setDecoderTimeout(1500ms);
    const std::vector<std::pair<const char*, QString>> decoders{
        {"missing", dir.filePath(QStringLiteral("no-such-decoder"))},
        {"hangs", fakeDecoder(QStringLiteral("hang.sh"), "exec sleep 60")},
        {"crashes", fakeDecoder(QStringLiteral("crash.sh"), "kill -SEGV $$")},
        {"is refused a system call", fakeDecoder(QStringLiteral("sys.sh"), "kill -SYS $$")},
        {"quits", fakeDecoder(QStringLiteral("quit.sh"), "exit 0")},
        {"talks nonsense", fakeDecoder(QStringLiteral("junk.sh"),
                                       "read -r x <&3; printf 'nonsense reply bytes....' >&3")},
    };
    for (const auto& [what, executable] : decoders) {
        setDecoderExecutable(executable);
        bitmap = quadrants(4, 4);
        EXPECT_EQ(LoadPictureFile(bitmap, jpeg, good), LoadFailed) << what;
        setDecoderExecutable(QString());
        EXPECT_TRUE(loadsGood()) << "after the decoder " << what;
    }
}

// The limit follows the size the header claims: a decoder that claims a million pixels and then
// hangs is cut off at the limit for a million pixels, not at the longest one.
TEST_F(DecoderService, TheTimeLimitFollowsTheClaimedPixels) {
    setDecoderExecutable(scripted(QStringLiteral("claims")));
    const auto fileBytes = std::uint64_t(QFileInfo(good).size());
    const auto claimed = decodeTimeLimit(fileBytes, 1000 * 1000, decoderTimeout());
    ASSERT_NE(claimed, decodeTimeLimit(fileBytes, 0, decoderTimeout()));
    ASSERT_LT(claimed, decoderTimeout());
    QImage picture;
    QString detail;
    EXPECT_EQ(decodeInDecoderProcess(good, FIF_PNG, 0, picture, nullptr, &detail),
              DecoderResult::Failed);
    EXPECT_TRUE(detail.contains(QStringLiteral("its %1 ms time limit").arg(claimed.count())))
        << detail.toStdString();
}

TEST_F(DecoderService, AWaitingDecoderThatDiedIsReplaced) {
    ASSERT_TRUE(loadsGood());
    // Whatever waits for the next load is killed behind the service's back.
    const QList<int> waiting = childProcesses();
    ASSERT_FALSE(waiting.isEmpty());
    for (int pid : waiting) {
        ::kill(pid, SIGKILL);
    }
    ::usleep(100000);
    EXPECT_TRUE(loadsGood());
}

TEST_F(DecoderService, ProcessesDoNotPileUpAndStopWithTheService) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(loadsGood());
    }
    EXPECT_LE(childProcesses().size(), 2); // at most the two waiting for the next files
    stopDecoderService();
    EXPECT_TRUE(childProcesses().isEmpty());
    // Loads still work after the service stopped; they start their own process.
    EXPECT_TRUE(loadsGood());
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(DecoderService, AProcessServesGoodPicturesAndIsReplacedAfterAnythingElse) {
    ASSERT_TRUE(loadsGood());
    const QList<int> serving = childProcesses();
    ASSERT_GE(serving.size(), 1);
    ASSERT_LE(serving.size(), 2);
    ASSERT_TRUE(loadsGood());
    EXPECT_EQ(childProcesses(), serving);

    const QString notPng = dir.filePath(QStringLiteral("not.png"));
    ASSERT_TRUE(writeBytes(notPng, QByteArray("no picture in here")));
    bitmap = quadrants(4, 4);
    EXPECT_EQ(LoadPictureFile(bitmap, jpeg, notPng), LoadFailed);
    EXPECT_EQ(bitmap, quadrants(4, 4));
    EXPECT_NE(childProcesses(), serving);
    EXPECT_TRUE(loadsGood());
}

TEST_F(DecoderService, DecodesTheFormatItIsAskedFor) {
    QImage picture;
    EXPECT_EQ(decodeInDecoderProcess(good, FIF_PNG, 0, picture), DecoderResult::Picture);
    EXPECT_TRUE(showsQuadrants(picture, 16, 12));
    // A picture that outlives later loads keeps its pixels.
    QImage second;
    EXPECT_EQ(decodeInDecoderProcess(good, FIF_BMP, 0, second), DecoderResult::NoPicture);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(decodeInDecoderProcess(good, FIF_JPEG, 0, second), DecoderResult::NoPicture);
    EXPECT_TRUE(showsQuadrants(picture, 16, 12));
    picture.setPixel(0, 0, qRgb(1, 2, 3)); // the mapped rows are writable
    EXPECT_EQ(picture.pixel(0, 0), qRgb(1, 2, 3));
}

TEST_F(DecoderService, TheWaitingDecodersAreConfinedAndHoldNothingOfThePicture) {
    ASSERT_TRUE(loadsGood());
    const QList<int> waiting = childProcesses();
    ASSERT_FALSE(waiting.isEmpty());
    for (int pid : waiting) {
        const QString proc = QStringLiteral("/proc/%1/").arg(pid);
        // A decoder started a moment ago may not have confined itself yet; it does so before it
        // reads its first request, so a short wait is what separates the two.
        QByteArray status;
        QElapsedTimer waited;
        waited.start();
        do {
            status = readBytes(proc + QStringLiteral("status"));
        } while (!status.contains("\nSeccomp:\t2\n") && waited.elapsed() < 5000 &&
                 (QThread::msleep(10), true));
        EXPECT_TRUE(status.contains("\nSeccomp:\t2\n")) << status.constData();
        EXPECT_TRUE(status.contains("\nNoNewPrivs:\t1\n")) << status.constData();
        // Nothing of the program's environment. (The bound on its threads needs a user namespace,
        // which a sanitizer build's extra thread denies it; the lockdown test checks the bound.)
        EXPECT_EQ(readBytes(proc + QStringLiteral("environ")),
                  QByteArray("GLIBC_TUNABLES=glibc.malloc.hugetlb=1\0", 38));
        const QString picture = QFileInfo(good).canonicalFilePath();
        const QFileInfoList held = QDir(proc + QStringLiteral("fd")).entryInfoList(QDir::System);
        EXPECT_GE(held.size(), 3); // its channel and standard descriptors
        for (const QFileInfo& fd : held) {
            EXPECT_NE(fd.symLinkTarget(), picture) << fd.fileName().toStdString();
        }
    }
}

// A decoder that breaks the protocol gets nothing of what it sent used: the file fails (or is
// refused) without a picture, the next file gets a fresh decoder and its own picture, and the
// program keeps no descriptor of it. Where the kernel refuses to map the reply buffer, the rows
// travel by pwrite and pread and come out the same.
TEST_F(DecoderService, AnswersThatBreakTheProtocolAreRefused) {
    const struct {
        const char* script; // empty: the real decoder
        bool mappingRefused;
        DecoderResult result;
        const char* detail;
    } cases[] = {
        {"honest", false, DecoderResult::Picture, ""},
        {"honest", true, DecoderResult::Picture, ""},
        {"", true, DecoderResult::Picture, ""},
        {"stale", false, DecoderResult::Failed, "answered request"},
        {"extra", false, DecoderResult::Failed, "answered request"},
        {"descriptor", false, DecoderResult::Failed, "sent a descriptor"},
        {"chatty", false, DecoderResult::NoPicture, "xxxx"},
        {"overrun", false, DecoderResult::Failed, "does not fit its reply buffer"},
        {"huge", false, DecoderResult::Refused, "too large"},
    };
    for (const auto& test : cases) {
        const std::string name =
            std::string(test.script) + (test.mappingRefused ? " unmapped" : "");
        setReplyBufferMappingRefused(test.mappingRefused);
        const bool real = *test.script == '\0';
        setDecoderExecutable(real ? QString() : scripted(QString::fromLatin1(test.script)));

        QImage picture;
        QString detail;
        DecoderResult result = decodeInDecoderProcess(good, FIF_PNG, 0, picture, nullptr, &detail);
        if (std::string_view(test.script) == "extra") {
            // Its first answer is good; the extra one must not become the next file's picture.
            ASSERT_EQ(result, DecoderResult::Picture);
            result = decodeInDecoderProcess(good, FIF_PNG, 0, picture, nullptr, &detail);
        }
        EXPECT_EQ(result, test.result) << name << ": " << detail.toStdString();
        EXPECT_TRUE(detail.contains(QLatin1String(test.detail)))
            << name << ": " << detail.toStdString();
        EXPECT_LE(detail.size(), 4096 + 200) << name;
        if (test.result != DecoderResult::Picture) {
            EXPECT_TRUE(picture.isNull()) << name;
        } else if (real) {
            EXPECT_TRUE(showsQuadrants(picture, 16, 12)) << name;
        } else {
            // A picture of its own request: each of two loads shows its own number.
            QImage second;
            ASSERT_EQ(decodeInDecoderProcess(good, FIF_PNG, 0, second), DecoderResult::Picture);
            ASSERT_EQ(picture.size(), QSize(4, 2)) << name;
            EXPECT_EQ(qBlue(picture.pixel(3, 1)), 0x5a) << name;
            EXPECT_NE(picture.pixel(0, 0), second.pixel(0, 0)) << name;
        }
        setReplyBufferMappingRefused(false);
        setDecoderExecutable(QString());
        EXPECT_EQ(descriptorsOf(good), 0) << name; // the one sent back was closed
        EXPECT_TRUE(loadsGood()) << "after " << name;
    }
    EXPECT_LE(childProcesses().size(), 2);
}

// Runs what in a child of this process that has confined itself as the decoder does: exited
// with 0 when what returned true, killed or exited with 1 when it was refused.
int inLockedDownChild(const std::function<bool()>& what) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (!decode::lockDown().filtered) {
            std::_Exit(3);
        }
        std::_Exit(what() ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool refused(int status) {
    return (WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS) ||
           (WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

TEST(DecoderLockdown, DecodingWorksAndEverythingElseIsRefused) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("q.png"));
    ASSERT_TRUE(saveDib(dibFromImage(quadrants(16, 12)).get(), FIF_PNG, png));
    const QByteArray bytes = readBytes(png);
    const QByteArray name = QFile::encodeName(png);
    const int opened = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(opened, 0);
    const auto decodes = [&bytes] {
        std::vector<std::uint8_t> rows;
        const decode::Allocate allocate = [&rows](std::uint32_t w, std::uint32_t h) {
            rows.assign(std::size_t{w} * 3 * h, 0);
            return decode::RgbTarget{rows.data(), std::size_t{w} * 3};
        };
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        return decode::decodeFile({data, std::size_t(bytes.size())}, FIF_PNG, 0, allocate, width,
                                  height) == decode::Status::Picture &&
               width == 16 && height == 12 && rows[0] == 255 && rows[1] == 0;
    };
    const auto readsHeldFile = [opened] {
        const std::optional<decode::PictureFile> file = decode::PictureFile::read(opened);
        return file && file->bytes().size() > 8 && file->bytes()[1] == 'P';
    };
    // A reply buffer as the program hands it over.
    const int buffer = ::memfd_create("reply", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    ASSERT_TRUE(buffer >= 0 && ::ftruncate(buffer, 8192) == 0 &&
                ::fcntl(buffer, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) == 0);
    const auto writesRows = [buffer] {
        void* rows = ::mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_SHARED, buffer, 0);
        return rows != MAP_FAILED && ::pwrite(buffer, "rows", 4, 4096) == 4;
    };
    // Threads that wait until the process ends.
    const auto startsThreads = [] {
        static std::mutex held;
        held.lock();
        int started = 0;
        for (int i = 0; i < 40; ++i) {
            pthread_t thread;
            if (::pthread_create(
                    &thread, nullptr,
                    [](void*) -> void* {
                        held.lock();
                        return nullptr;
                    },
                    nullptr) == 0) {
                ++started;
            }
        }
        return started >= 4 && started < 16;
    };
    const struct {
        const char* what;
        std::function<bool()> attempt;
        bool allowed;
    } cases[] = {
        {"decoding a picture in memory", decodes, true},
        {"reading a descriptor it was handed", readsHeldFile, true},
        {"writing rows into the reply buffer it was handed", writesRows, true},
        {"starting a few threads, but not forty", startsThreads, true},
        {"making a memory file",
         [] { return ::memfd_create("reply", MFD_CLOEXEC | MFD_ALLOW_SEALING) >= 0; }, false},
        {"opening a file by name", [&name] { return ::open(name.constData(), O_RDONLY) >= 0; },
         false},
        {"opening relative to a folder",
         [&name] { return ::openat(AT_FDCWD, name.constData(), O_RDONLY) >= 0; }, false},
        {"making a network socket", [] { return ::socket(AF_INET, SOCK_STREAM, 0) >= 0; }, false},
        {"making a local socket", [] { return ::socket(AF_UNIX, SOCK_STREAM, 0) >= 0; }, false},
        {"starting a program",
         [] {
             char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
             ::execv("/bin/true", argv);
             return false;
         },
         false},
        {"raising its limits",
         [] {
             const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
             return ::setrlimit(RLIMIT_AS, &none) == 0;
         },
         false},
        {"changing its user (even to the same one)",
         [] { return ::setresuid(uid_t(-1), uid_t(-1), uid_t(-1)) == 0; }, false},
        {"starting a process", [] { return ::fork() >= 0; }, false},
    };
    for (const auto& test : cases) {
        const int status = inLockedDownChild(test.attempt);
        if (test.allowed) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test.what;
        } else {
            EXPECT_TRUE(refused(status)) << test.what << ": status " << status;
        }
    }
    ::close(opened);
    ::close(buffer);
}

TEST(PictureFile, ReadsRegularFilesOnlyWhole) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.bin"));
    QByteArray content(200000, '\0');
    for (qsizetype i = 0; i < content.size(); ++i) {
        content[i] = char(i * 7 + i / 251);
    }
    ASSERT_TRUE(writeBytes(file, content));
    const int regular = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(regular, 0);
    ::lseek(regular, 1000, SEEK_SET); // the descriptor's offset is no matter
    const std::optional<decode::PictureFile> read = decode::PictureFile::read(regular);
    ASSERT_TRUE(read);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(read->bytes().data()),
                         qsizetype(read->bytes().size())),
              content);
    EXPECT_FALSE(decode::PictureFile::read(ends[0])) << "pipe";
    EXPECT_FALSE(decode::PictureFile::read(null)) << "device";
    for (int fd : {regular, ends[0], ends[1], null}) {
        ::close(fd);
    }
}

TEST(PictureHeaders, BmpVersionFourAndFiveHeadersBecomeTheFortyByteForm) {
    const QImage image = quadrants(5, 3);
    const QByteArray v5 = bmpNewHeaderBytes(image, 124, true);
    const auto* data = reinterpret_cast<const std::uint8_t*>(v5.constData());
    const auto rewritten = pictures::rewriteBmpToInfoHeader(data, std::size_t(v5.size()));
    ASSERT_TRUE(rewritten);
    const std::vector<std::uint8_t>& out = *rewritten;
    auto le32 = [&out](std::size_t at) {
        return std::uint32_t(out[at] | out[at + 1] << 8 | out[at + 2] << 16 | out[at + 3] << 24);
    };
    EXPECT_EQ(le32(14), 40u);
    EXPECT_EQ(le32(14 + 16), 3u); // bit fields stay
    EXPECT_EQ(le32(54), 0x00ff0000u);
    EXPECT_EQ(le32(58), 0x0000ff00u);
    EXPECT_EQ(le32(62), 0x000000ffu);
    EXPECT_EQ(le32(10), 66u); // pixels right after header and masks
    EXPECT_EQ(le32(2), std::uint32_t(out.size()));
    EXPECT_EQ(out.size(), std::size_t(v5.size()) - 124 + 40 + 12);
    EXPECT_TRUE(std::equal(out.begin() + 66, out.end(), data + 14 + 124));

    const QByteArray v4 = bmpNewHeaderBytes(image, 108, false);
    const auto plain = pictures::rewriteBmpToInfoHeader(
        reinterpret_cast<const std::uint8_t*>(v4.constData()), std::size_t(v4.size()));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->size(), std::size_t(v4.size()) - 108 + 40);

    // The 40-byte form and cut or inconsistent files are left alone.
    QByteArray v3 = v4;
    v3[14] = 40;
    EXPECT_FALSE(pictures::rewriteBmpToInfoHeader(
        reinterpret_cast<const std::uint8_t*>(v3.constData()), std::size_t(v3.size())));
    for (qsizetype cut : {0, 10, 17, 100}) {
        EXPECT_FALSE(pictures::rewriteBmpToInfoHeader(
            reinterpret_cast<const std::uint8_t*>(v5.constData()), std::size_t(cut)))
            << cut;
    }
    QByteArray badOffset = v5;
    badOffset[10] = 20;
    EXPECT_FALSE(pictures::rewriteBmpToInfoHeader(
        reinterpret_cast<const std::uint8_t*>(badOffset.constData()),
        std::size_t(badOffset.size())));
}

TEST(PictureHeaders, IlbmAndMngSizesComeFromIntactFilesOnly) {
    const QByteArray lbm = lbmBytes(16, 12);
    const auto* l = reinterpret_cast<const std::uint8_t*>(lbm.constData());
    const auto size = pictures::readIlbmSize(l, std::size_t(lbm.size()));
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 16u);
    EXPECT_EQ(size->height, 12u);
    for (qsizetype cut = 0; cut < lbm.size(); ++cut) {
        EXPECT_FALSE(pictures::readIlbmSize(l, std::size_t(cut))) << cut;
    }

    DibPtr dib = dibFromImage(quadrants(16, 12));
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("f.png"));
    ASSERT_TRUE(saveDib(dib.get(), FIF_PNG, png));
    const QByteArray mng = mngFromPng(readBytes(png), 16, 12);
    const auto* m = reinterpret_cast<const std::uint8_t*>(mng.constData());
    const auto frame = pictures::readMngSize(m, std::size_t(mng.size()));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width, 16u);
    EXPECT_EQ(frame->height, 12u);
    // Cut anywhere before the picture's IEND is complete: no size.
    const qsizetype iend = mng.indexOf("IEND") + 8;
    for (qsizetype cut = 0; cut < iend; ++cut) {
        EXPECT_FALSE(pictures::readMngSize(m, std::size_t(cut))) << cut;
    }
    EXPECT_TRUE(pictures::readMngSize(m, std::size_t(iend)));
}

TEST(PictureHeaders, KoalaPhotoCdTargaRasterAndIconChecks) {
    const QByteArray koala = koalaBytes();
    const auto* k = reinterpret_cast<const std::uint8_t*>(koala.constData());
    EXPECT_TRUE(pictures::isKoalaFile(k, std::size_t(koala.size())));
    EXPECT_FALSE(pictures::isKoalaFile(k, 10002));
    QByteArray wrongAddress = koala;
    wrongAddress[1] = 0x40;
    EXPECT_FALSE(
        pictures::isKoalaFile(reinterpret_cast<const std::uint8_t*>(wrongAddress.constData()),
                              std::size_t(wrongAddress.size())));
    EXPECT_EQ(pictures::photoCdRequiredSize(1), std::uint64_t(photoCdBytes().size()));

    const QByteArray ras = rasBytes(quadrants(5, 3));
    const auto* r = reinterpret_cast<const std::uint8_t*>(ras.constData());
    EXPECT_TRUE(pictures::isSoundSunRaster(r, std::size_t(ras.size())));
    EXPECT_FALSE(pictures::isSoundSunRaster(r, std::size_t(ras.size() - 1)));

    QByteArray tga(18, '\0');
    tga[2] = 10;
    tga[12] = 4;
    tga[14] = 1;
    tga[16] = 24;
    tga += QByteArray("\x83\x01\x02\x03", 4); // a run of four: exactly the picture
    const auto* t = reinterpret_cast<const std::uint8_t*>(tga.constData());
    EXPECT_TRUE(pictures::isSoundTarga(t, std::size_t(tga.size())));
    EXPECT_FALSE(pictures::isSoundTarga(t, std::size_t(tga.size() - 1)));
    tga[18] = char(0x84); // a run of five overflows
    EXPECT_FALSE(pictures::isSoundTarga(t, std::size_t(tga.size())));

    DibPtr icon = dibFromImage(quadrants(16, 16));
    QTemporaryDir dir;
    const QString ico = dir.filePath(QStringLiteral("i.ico"));
    ASSERT_TRUE(saveDib(icon.get(), FIF_ICO, ico));
    const QByteArray bytes = readBytes(ico);
    const auto* i = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    EXPECT_TRUE(pictures::isSoundIcon(i, std::size_t(bytes.size())));
    EXPECT_FALSE(pictures::isSoundIcon(i, std::size_t(bytes.size() - 1)));
}

TEST(DibConversion, SixteenBitMasksAndUnsupportedTypes) {
    for (const auto& [green, name] : {std::pair{0x07E0u, "565"}, std::pair{0x03E0u, "555"}}) {
        const unsigned red = green == 0x07E0u ? 0xF800u : 0x7C00u;
        DibPtr dib(FreeImage_Allocate(2, 1, 16, red, green, 0x001F));
        auto* px = reinterpret_cast<std::uint16_t*>(FreeImage_GetScanLine(dib.get(), 0));
        px[0] = std::uint16_t(red);
        px[1] = std::uint16_t(green | 0x001F);
        std::array<std::uint8_t, 8> out{};
        ASSERT_TRUE(decode::convertDibToRgb(dib.get(), out.data(), out.size()));
        EXPECT_EQ((std::array<int, 6>{out[0], out[1], out[2], out[3], out[4], out[5]}),
                  (std::array<int, 6>{255, 0, 0, 0, 255, 255}))
            << name;
    }
    DibPtr complex(FreeImage_AllocateT(FIT_COMPLEX, 2, 2));
    std::array<std::uint8_t, 12> out{};
    EXPECT_FALSE(decode::convertDibToRgb(complex.get(), out.data(), 6));
    // A 32-bit picture whose fourth bytes are all zero: opaque where the format's writers leave
    // that byte unset, else transparent, which is white.
    DibPtr zeroAlpha(
        FreeImage_Allocate(1, 1, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    BYTE* p = FreeImage_GetScanLine(zeroAlpha.get(), 0);
    p[FI_RGBA_RED] = 10;
    p[FI_RGBA_GREEN] = 20;
    p[FI_RGBA_BLUE] = 30;
    p[FI_RGBA_ALPHA] = 0;
    ASSERT_TRUE(decode::convertDibToRgb(zeroAlpha.get(), out.data(), 3, true));
    EXPECT_EQ((std::array<int, 3>{out[0], out[1], out[2]}), (std::array<int, 3>{10, 20, 30}));
    ASSERT_TRUE(decode::convertDibToRgb(zeroAlpha.get(), out.data(), 3));
    EXPECT_EQ((std::array<int, 3>{out[0], out[1], out[2]}), (std::array<int, 3>{255, 255, 255}));
}

} // namespace
} // namespace quill
