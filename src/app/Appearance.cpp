#include "app/Appearance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace quill {

QString qtTranslationsFolder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool installGermanQtTexts(QCoreApplication& app) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_de"), qtTranslationsFolder())) {
        return false;
    }
    // Owned by the application: a translator must live as long as the texts it answers for.
    QTranslator* installed = translator.release();
    installed->setParent(&app);
    return QCoreApplication::installTranslator(installed);
}

void useLayoutStyle() {
    QApplication::setStyle(QStringLiteral("Fusion"));
}

} // namespace quill
