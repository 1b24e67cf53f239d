#pragma once
// A desktop of the test's own: the XDG data and config folders point into a temporary folder, so
// associations come only from what the test writes there, nothing of the machine's applications
// is seen or started, and the user's home is never touched. The shared MIME database of the
// system stays visible (through a link), so file types are recognised as usual.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QtGlobal>

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <utility>
#include <vector>

namespace quill::test {

class XdgSandbox {
public:
    XdgSandbox() {
        root_ = QDir(tmp_.path()).canonicalPath();
        for (const char* dir : {"config", "data/applications", "share/applications", "etc"}) {
            QDir(root_).mkpath(QString::fromLatin1(dir));
        }
        if (QFileInfo::exists(QStringLiteral("/usr/share/mime"))) {
            QFile::link(QStringLiteral("/usr/share/mime"), root_ + QStringLiteral("/share/mime"));
        }
        set("XDG_CONFIG_HOME", root_ + QStringLiteral("/config"));
        set("XDG_CONFIG_DIRS", root_ + QStringLiteral("/etc"));
        set("XDG_DATA_HOME", root_ + QStringLiteral("/data"));
        set("XDG_DATA_DIRS", root_ + QStringLiteral("/share"));
        set("XDG_CURRENT_DESKTOP", {});
    }

    ~XdgSandbox() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                qputenv(it->first.constData(), *it->second);
            } else {
                qunsetenv(it->first.constData());
            }
        }
    }

    XdgSandbox(const XdgSandbox&) = delete;
    XdgSandbox& operator=(const XdgSandbox&) = delete;

    bool isValid() const { return tmp_.isValid(); }
    const QString& root() const { return root_; }
    QString path(const QString& relative) const { return root_ + QLatin1Char('/') + relative; }

    void set(const char* name, const QString& value) {
        saved_.emplace_back(QByteArray(name), qEnvironmentVariableIsSet(name)
                                                  ? std::optional(qgetenv(name))
                                                  : std::nullopt);
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value.toLocal8Bit());
        }
    }

    static void writeText(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(text);
    }

    // A desktop entry under "data" (the user's) or "share" (the system's) applications folder.
    void writeEntry(const QString& id, const QString& exec, const QString& mimeTypes,
                    const QString& where = QStringLiteral("share"),
                    const QByteArray& extra = {}) const {
        QString relative = id;
        writeText(path(where + QStringLiteral("/applications/") + relative),
                  "[Desktop Entry]\nType=Application\nName=" + id.toUtf8() + "\nExec=" +
                      exec.toUtf8() + "\nMimeType=" + mimeTypes.toUtf8() + "\n" + extra);
    }

    void writeMimeApps(const QByteArray& text,
                       const QString& file = QStringLiteral("config/mimeapps.list")) const {
        writeText(path(file), text);
    }

    // A harmless program standing in for every application: it writes its arguments into
    // "<folder>/args", then waits for "<folder>/release" (at most a minute) and writes
    // "<folder>/done", so a test can tell that the caller did not wait for it.
    QString writeStub(const QString& folder) const {
        QDir().mkpath(folder);
        const QString script = folder + QStringLiteral("/stub.sh");
        writeText(
            script,
            "#!/bin/sh\n"
            "dir=$(dirname \"$0\")\n"
            "printf '%s\\n' \"$@\" > \"$dir/args.tmp\" && mv \"$dir/args.tmp\" \"$dir/args\"\n"
            "i=0\n"
            "while [ ! -e \"$dir/release\" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n"
            ": > \"$dir/done\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }

private:
    QTemporaryDir tmp_;
    QString root_;
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

// Waits (bounded) until a file exists; true when it does.
inline bool waitForFile(const QString& path, int seconds = 30) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (QFileInfo::exists(path)) {
            return true;
        }
        QThread::msleep(50);
    }
    return QFileInfo::exists(path);
}

inline QStringList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace quill::test
