#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

// A connection string cut at its separator, every part trimmed, with the password marker of
// each part: "/p", "pwd" and the character after it, or "password" (tested in that order).
class SeparatedConnectionString {
public:
    SeparatedConnectionString(const QString& text, QChar separator);

    // Two separators in a row give an empty part; a separator at the very end adds none.
    static QStringList SplitConnectionString(const QString& text, QChar separator);
    // The parts that carry a marker, in order.
    const QList<int>& PasswordParts() const { return passwordParts_; }
    // Empty for a part without a marker.
    QString PasswordText(int index) const;
    // The part becomes its marker followed by the text.
    void SetPasswordText(int index, const QString& text);

    // The separator between the parts, none after the last.
    QString Joined() const;
    // The separator after every part, the last one included.
    QString Terminated() const;

private:
    // Blanks and control characters off both ends.
    static QString TrimPart(const QString& part);
    static int MarkerLength(const QString& part);
    QString Marker(int index) const;

    QChar separator_;
    QStringList parts_;
    QList<int> markerLengths_;
    QList<int> passwordParts_;
};
