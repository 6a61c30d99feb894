#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

QtTranslations::QtTranslations(const QLocale& language) {
    loaded_ = translator_.load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
              QCoreApplication::installTranslator(&translator_);
}

QtTranslations::~QtTranslations() {
    if (loaded_)
        QCoreApplication::removeTranslator(&translator_);
}
