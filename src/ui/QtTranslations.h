#pragma once

#include <QLocale>
#include <QTranslator>

// Qt's own texts (the standard buttons "Да", "Нет", "Отмена", the editors' menus) in the
// system language, from the translations Debian installs for Qt. The program's own texts
// are Russian whatever the language; without a translation Qt's texts stay English.
class QtTranslations {
public:
    // Needs the application object; the texts stay translated while this object lives.
    explicit QtTranslations(const QLocale& language = QLocale::system());
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    bool Loaded() const { return loaded_; }

private:
    QTranslator translator_;
    bool loaded_ = false;
};
