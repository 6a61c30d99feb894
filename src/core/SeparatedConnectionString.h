#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

// A connection string cut at its separator, every part trimmed, with the password marker of
// each part: "/p", "pwd" and the character after it, or "password" (tested in that order).
// A separator inside an ODBC value in braces ("PWD={se;cret}") or inside double quotes of a
// 1C command line ('/P"my pass"') does not cut: such a value is one part.
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
    // The part's password as a whole: when text (the password) leaves braces or quotes open,
    // the string after the part belongs to it up to where they close and a separator follows.
    // That is how a file written while the separator still cut such passwords holds them. The
    // parts after it are read anew from there.
    QString JoinedPasswordText(int index, const QString& text);

    // The separator between the parts, none after the last.
    QString Joined() const;
    // The separator after every part, the last one included.
    QString Terminated() const;

private:
    // Blanks and control characters off both ends.
    static QString TrimPart(const QString& part);
    // Where each part from "from" on ends: at its separator, or at the end of the text.
    static QList<qsizetype> PartEnds(const QString& text, qsizetype from, QChar separator);
    void AppendPartsFrom(qsizetype from);
    static int MarkerLength(const QString& part);
    QString Marker(int index) const;

    QChar separator_;
    QString text_;
    QStringList parts_;
    QList<qsizetype> partEnds_;
    QList<int> markerLengths_;
    QList<int> passwordParts_;
};
