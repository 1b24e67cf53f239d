#include "platform/DesktopApps.h"

#include "XdgSandbox.h"

#include <gtest/gtest.h>

using namespace quill;
using quill::test::XdgSandbox;

namespace {

// Entries whose program exists everywhere, so only the association rules decide.
class DesktopAppsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sandbox.isValid()); }

    QString chosen(const QStringList& types) const {
        const std::optional<DesktopApp> app = applicationForTypes(types);
        return app ? app->id : QString();
    }

    XdgSandbox sandbox;
};

} // namespace

TEST_F(DesktopAppsTest, DefaultsThenAddedThenAnyEntryNamingTheType) {
    sandbox.writeEntry(QStringLiteral("b-viewer.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;"));
    sandbox.writeEntry(QStringLiteral("a-viewer.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;image/jpeg;"));
    sandbox.writeEntry(QStringLiteral("editor.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("text/plain;"));
    // Only entries naming the type: the first by id.
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("a-viewer.desktop"));
    // An added association comes before them, even for an entry not naming the type.
    sandbox.writeMimeApps("[Added Associations]\nimage/png=editor.desktop;\n");
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("editor.desktop"));
    // A default comes first; a default that is not installed is passed over.
    sandbox.writeMimeApps("[Default Applications]\nimage/png=gone.desktop;b-viewer.desktop\n"
                          "[Added Associations]\nimage/png=editor.desktop;\n");
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("b-viewer.desktop"));
    // Nothing for a type no entry names.
    EXPECT_EQ(chosen({QStringLiteral("image/x-photo-cd")}), QString());
}

TEST_F(DesktopAppsTest, TheUsersListsWinOverTheSystemsAndRemovalsHide) {
    sandbox.writeEntry(QStringLiteral("one.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;"));
    sandbox.writeEntry(QStringLiteral("two.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;"));
    sandbox.writeMimeApps("[Default Applications]\nimage/png=one.desktop\n",
                          QStringLiteral("etc/mimeapps.list"));
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("one.desktop"));
    sandbox.writeMimeApps("[Default Applications]\nimage/png=two.desktop\n");
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("two.desktop"));
    // The desktop's own list comes before the general one.
    sandbox.set("XDG_CURRENT_DESKTOP", QStringLiteral("Test:Other"));
    sandbox.writeMimeApps("[Default Applications]\nimage/png=one.desktop\n",
                          QStringLiteral("config/test-mimeapps.list"));
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("one.desktop"));

    // Without defaults, a removed association hides an entry that names the type.
    QFile::remove(sandbox.path(QStringLiteral("etc/mimeapps.list")));
    QFile::remove(sandbox.path(QStringLiteral("config/test-mimeapps.list")));
    sandbox.writeMimeApps("[Removed Associations]\nimage/png=one.desktop;\n");
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("two.desktop"));
}

TEST_F(DesktopAppsTest, UnstartableEntriesDoNotCount) {
    sandbox.writeEntry(QStringLiteral("hidden.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;"), QStringLiteral("share"), "Hidden=true\n");
    sandbox.writeEntry(QStringLiteral("missing.desktop"), QStringLiteral("no-such-program-here %f"),
                       QStringLiteral("image/png;"));
    sandbox.writeEntry(QStringLiteral("tryexec.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;"), QStringLiteral("share"),
                       "TryExec=/nonexistent/program\n");
    sandbox.writeText(sandbox.path(QStringLiteral("share/applications/link.desktop")),
                      "[Desktop Entry]\nType=Link\nURL=https://example.org/\nExec=true\n"
                      "MimeType=image/png;\n");
    sandbox.writeEntry(QStringLiteral("quote.desktop"), QStringLiteral("\"true %f"),
                       QStringLiteral("image/png;"));
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QString());

    // The user's entry of the same id hides the system's, startable or not.
    sandbox.writeEntry(QStringLiteral("viewer.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;"));
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QStringLiteral("viewer.desktop"));
    sandbox.writeEntry(QStringLiteral("viewer.desktop"), QStringLiteral("true %f"),
                       QStringLiteral("image/png;"), QStringLiteral("data"), "Hidden=true\n");
    EXPECT_EQ(chosen({QStringLiteral("image/png")}), QString());
}

TEST_F(DesktopAppsTest, TypesAreTriedInOrderAndIdsFollowSubfolders) {
    sandbox.writeEntry(QStringLiteral("vendor/pages.desktop"), QStringLiteral("true %u"),
                       QStringLiteral("text/html;"));
    EXPECT_EQ(chosen({QStringLiteral("x-scheme-handler/https"), QStringLiteral("text/html")}),
              QStringLiteral("vendor-pages.desktop"));
    sandbox.writeMimeApps("[Default Applications]\nx-scheme-handler/https=vendor-pages.desktop\n");
    const std::optional<DesktopApp> app =
        applicationForTypes({QStringLiteral("x-scheme-handler/https")});
    ASSERT_TRUE(app);
    EXPECT_EQ(app->id, QStringLiteral("vendor-pages.desktop"));
    EXPECT_TRUE(app->filePath.endsWith(QStringLiteral("applications/vendor/pages.desktop")));
}

TEST(DesktopExec, SplittingFollowsTheQuotingRules) {
    EXPECT_EQ(
        splitExec(QStringLiteral("viewer  --new  %f")),
        (QStringList{QStringLiteral("viewer"), QStringLiteral("--new"), QStringLiteral("%f")}));
    EXPECT_EQ(splitExec(QStringLiteral(R"("/opt/My Viewer/bin/view" "a \"b\" \$c \\d \`e" x)")),
              (QStringList{QStringLiteral("/opt/My Viewer/bin/view"),
                           QStringLiteral(R"(a "b" $c \d `e)"), QStringLiteral("x")}));
    EXPECT_EQ(splitExec(QStringLiteral("\"unterminated %f")), std::nullopt);
    EXPECT_EQ(splitExec(QStringLiteral("   ")), std::nullopt);
}

TEST(DesktopExec, FieldCodesAreFilledForOneTarget) {
    DesktopApp app;
    app.name = QStringLiteral("Viewer");
    app.icon = QStringLiteral("viewer-icon");
    app.filePath = QStringLiteral("/usr/share/applications/viewer.desktop");
    const QString target = QStringLiteral("/tmp/Bild mit Blank.png");

    app.exec = QStringLiteral("viewer %i --title=%c %F %U --ratio=50%%");
    EXPECT_EQ(expandExec(app, target),
              (QStringList{QStringLiteral("viewer"), QStringLiteral("--icon"),
                           QStringLiteral("viewer-icon"), QStringLiteral("--title=Viewer"), target,
                           QStringLiteral("--ratio=50%")}));
    // No field code for the file: it is appended; obsolete codes vanish.
    app.exec = QStringLiteral("viewer %k %d");
    EXPECT_EQ(expandExec(app, target),
              (QStringList{QStringLiteral("viewer"), app.filePath, target}));
    app.exec = QStringLiteral("viewer --file=%f");
    EXPECT_EQ(expandExec(app, target),
              (QStringList{QStringLiteral("viewer"), QStringLiteral("--file=") + target}));
    app.icon.clear();
    app.exec = QStringLiteral("viewer %i %u");
    EXPECT_EQ(expandExec(app, target), (QStringList{QStringLiteral("viewer"), target}));
    app.exec = QStringLiteral("\"viewer %u");
    EXPECT_TRUE(expandExec(app, target).isEmpty());
}
