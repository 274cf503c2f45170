#include "QtTranslations.h"

#include "FileKindTranslator.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

bool QtTranslations::install() {
    // One catalogue, owned by the application it was installed into.
    static QPointer<QTranslator> translator;
    if (translator != nullptr) {
        return true;
    }
    auto* loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QStringLiteral("qtbase_ru"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(loaded)) {
        delete loaded;
        return false;
    }
    translator = loaded;
    QCoreApplication::installTranslator(new FileKindTranslator(QCoreApplication::instance()));
    return true;
}
