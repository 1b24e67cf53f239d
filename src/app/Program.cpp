#include "app/Program.h"

#include "app/Appearance.h"
#include "app/Forms.h"
#include "app/QtMessageBox.h"
#include "app/Unit1.h"
#include "imaging/ImageLoading.h"
#include "platform/Failure.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Memory.h"
#include "platform/MessageBox.h"
#include "platform/Session.h"

#include <QFile>
#include <QIcon>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

static void initResources() {
    Q_INIT_RESOURCE(quillmere);
}

namespace quill {

QuillApplication::QuillApplication(int& argc, char** argv) : QApplication(argc, argv) {}

namespace {

QuillApplication::LastResortHook& lastResortHook() {
    static QuillApplication::LastResortHook hook;
    return hook;
}

} // namespace

bool QuillApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    const QEvent::Type type = event->type();
    if (!runGuarded([&] { handled = QApplication::notify(receiver, event); }) && lastResortHook()) {
        lastResortHook()(type);
    }
    return handled;
}

void QuillApplication::setLastResortHook(LastResortHook hook) {
    lastResortHook() = std::move(hook);
}

QString commandTail(int argc, char** argv) {
    QStringList parts;
    for (int i = 1; i < argc; ++i) {
        parts << decodeFileName(argv[i]);
    }
    return parts.join(QLatin1Char(' '));
}

namespace {

bool previewAheadOn = true;

const char* const helpText =
    "Aufruf: quillmere [BILDDATEI]\n"
    "Bereitet Stapel von Bildern auf: drehen, spiegeln, Größe ändern, beschriften,\n"
    "als JPEG in den Unterordner \"_Parvexo\" schreiben; oder nur umbenennen.\n"
    "\n"
    "  BILDDATEI   wählt diese Datei beim Start aus und zeigt sie in der Vorschau\n"
    "  --help      zeigt diese Hilfe\n"
    "  --version   zeigt die Version\n";

// Only these two exact arguments are options; anything else is the command tail.
bool answeredFromCommandLine(int argc, char** argv) {
    if (argc != 2) {
        return false;
    }
    const std::string_view arg = argv[1];
    if (arg == "--version") {
        std::printf("Quillmere %s\n", QUILL_VERSION);
        return true;
    }
    if (arg == "--help") {
        std::fputs(helpText, stdout);
        return true;
    }
    return false;
}

} // namespace

void setStartUpPreviewAhead(bool on) {
    previewAheadOn = on;
}

int runProgram(int argc, char** argv, const std::function<void(QWidget&)>& shown) {
    if (answeredFromCommandLine(argc, argv)) {
        return 0;
    }
    // Started from a folder that has been deleted or cannot be read, the lists start at home. A
    // relative name is meant relative to where the program was started.
    ensureListableCurrentDir();
    QString tail = commandTail(argc, argv);
    if (!tail.isEmpty()) {
        tail = decodeFileName(encodePath(tail));
    }
    keepLargePictureMemory();
    // Start-up previews the named file; its decode goes on while the window is being built.
    std::optional<PreviewAhead> ahead;
    if (previewAheadOn && !tail.isEmpty()) {
        ahead.emplace(tail, TForm1::kPreviewSide);
    }

    chooseQtPlatformForSession();
    QuillApplication app(argc, argv);
    initResources();
    QApplication::setApplicationName(applicationTitle());
    QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillmere/quillmere-256.png")));
    useLayoutStyle();
    installGermanQtTexts(app);
    installQtMessageBoxes();

    runGuarded([&] {
        Forms forms(tail, ahead ? &*ahead : nullptr);
        forms.main().show();
        if (shown) {
            shown(forms.main());
        }
        app.exec();
    });
    return 0;
}

} // namespace quill
