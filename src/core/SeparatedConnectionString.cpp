#include "core/SeparatedConnectionString.h"

namespace {
bool IsTrimmed(QChar ch) {
    return ch == u' ' || ch.category() == QChar::Other_Control;
}
} // namespace

SeparatedConnectionString::SeparatedConnectionString(const QString& text, QChar separator)
    : separator_(separator) {
    for (const QString& part : SplitConnectionString(text, separator)) {
        parts_.append(TrimPart(part));
        markerLengths_.append(MarkerLength(parts_.last()));
        if (markerLengths_.last() > 0)
            passwordParts_.append(parts_.size() - 1);
    }
}

QStringList SeparatedConnectionString::SplitConnectionString(const QString& text, QChar separator) {
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype at = text.indexOf(separator); at >= 0; at = text.indexOf(separator, start)) {
        parts.append(text.mid(start, at - start));
        start = at + 1;
    }
    if (start < text.size())
        parts.append(text.mid(start));
    return parts;
}

QString SeparatedConnectionString::TrimPart(const QString& part) {
    qsizetype begin = 0;
    qsizetype end = part.size();
    while (begin < end && IsTrimmed(part[begin]))
        ++begin;
    while (end > begin && IsTrimmed(part[end - 1]))
        --end;
    return part.mid(begin, end - begin);
}

int SeparatedConnectionString::MarkerLength(const QString& part) {
    // Lower-cased as a whole, not folded: only the plain letters make a marker.
    const QString lower = part.left(8).toLower();
    int length = 0;
    if (lower.startsWith(u"/p"))
        length = 2;
    else if (lower.startsWith(u"pwd"))
        length = 4;
    else if (lower.startsWith(u"password"))
        length = 8;
    return qMin<int>(length, part.size());
}

QString SeparatedConnectionString::Marker(int index) const {
    return parts_[index].left(markerLengths_[index]);
}

QString SeparatedConnectionString::PasswordText(int index) const {
    if (markerLengths_[index] == 0)
        return QString();
    return parts_[index].mid(markerLengths_[index]);
}

void SeparatedConnectionString::SetPasswordText(int index, const QString& text) {
    parts_[index] = Marker(index) + text;
}

QString SeparatedConnectionString::Joined() const {
    return parts_.join(separator_);
}

QString SeparatedConnectionString::Terminated() const {
    QString text;
    for (const QString& part : parts_)
        text += part + separator_;
    return text;
}
