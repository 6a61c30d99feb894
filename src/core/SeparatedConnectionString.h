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
    // Blanks and control characters off both ends.
    static QString TrimPart(const QString& part);

    int Count() const { return parts_.size(); }
    const QString& Part(int index) const { return parts_[index]; }
    // The parts that carry a marker, in order.
    const QList<int>& PasswordParts() const { return passwordParts_; }
    // Both empty for a part without a marker.
    QString Marker(int index) const;
    QString PasswordText(int index) const;
    // The part becomes its marker followed by the text.
    void SetPasswordText(int index, const QString& text);

    // The separator between the parts, none after the last.
    QString Joined() const;
    // The separator after every part, the last one included.
    QString Terminated() const;

private:
    static int MarkerLength(const QString& part);

    QChar separator_;
    QStringList parts_;
    QList<int> markerLengths_;
    QList<int> passwordParts_;
};
