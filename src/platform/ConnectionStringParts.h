#pragma once

#include <QList>
#include <QString>

// The "key=value" parts of a connection string separated by ";". Keys compare without
// letter case; a value may be wrapped in braces to hold a ";".
class ConnectionStringParts {
public:
    explicit ConnectionStringParts(const QString& connectionString);

    QString Value(const QString& key, const QString& fallback = QString()) const;
    // True when the string names the Firebird/InterBase ODBC driver, which we reach natively.
    bool NamesFirebirdDriver() const;
    // The text with every password part and every password value taken out.
    QString Scrub(const QString& text) const;

private:
    struct Part {
        QString key;
        QString value;
        QString raw;
    };

    static bool IsPasswordKey(const QString& key);

    QList<Part> parts_;
};
