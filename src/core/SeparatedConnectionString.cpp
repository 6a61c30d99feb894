#include "core/SeparatedConnectionString.h"

#include <algorithm>

namespace {
bool IsTrimmed(QChar ch) {
    return ch == u' ' || ch.category() == QChar::Other_Control;
}

// Where a separator inside a part is text, not a separator: an ODBC value in braces (a "}"
// doubled inside them stands for itself, as the drivers read it) after the ";" separator, and
// a text in double quotes in a blank-separated 1C command line.
class QuoteScanner {
public:
    explicit QuoteScanner(QChar separator)
        : braces_(separator == u';') {}

    // Whether the character, read next, separates two parts.
    bool Separates(QChar ch, QChar separator) {
        if (state_ == State::BraceClosing) {
            state_ = ch == u'}' ? State::InBraces : State::Value;
            if (state_ == State::InBraces)
                return false;
        }
        if (state_ == State::InBraces || state_ == State::InQuotes) {
            if (ch == (braces_ ? u'}' : u'"'))
                state_ = braces_ ? State::BraceClosing : State::Key;
            return false;
        }
        if (ch == separator) {
            state_ = State::Key;
            return true;
        }
        if (!braces_) {
            if (ch == u'"')
                state_ = State::InQuotes;
        } else if (state_ == State::Key && ch == u'=') {
            state_ = State::ValueStart;
        } else if (state_ == State::ValueStart && ch == u'{') {
            state_ = State::InBraces;
        } else if (state_ == State::ValueStart && !ch.isSpace()) {
            state_ = State::Value;
        }
        return false;
    }

    // A brace or quote opened and not yet closed.
    bool Open() const { return state_ == State::InBraces || state_ == State::InQuotes; }

private:
    enum class State { Key, ValueStart, Value, InBraces, BraceClosing, InQuotes };

    bool braces_;
    State state_ = State::Key;
};
} // namespace

SeparatedConnectionString::SeparatedConnectionString(const QString& text, QChar separator)
    : separator_(separator)
    , text_(text) {
    AppendPartsFrom(0);
}

QList<qsizetype> SeparatedConnectionString::PartEnds(const QString& text, qsizetype from,
                                                     QChar separator) {
    QList<qsizetype> ends;
    QuoteScanner scanner(separator);
    for (qsizetype at = from; at < text.size(); ++at)
        if (scanner.Separates(text[at], separator))
            ends.append(at);
    if (ends.isEmpty() ? from < text.size() : ends.last() + 1 < text.size())
        ends.append(text.size());
    return ends;
}

QStringList SeparatedConnectionString::SplitConnectionString(const QString& text, QChar separator) {
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype end : PartEnds(text, 0, separator)) {
        parts.append(text.mid(start, end - start));
        start = end + 1;
    }
    return parts;
}

void SeparatedConnectionString::AppendPartsFrom(qsizetype from) {
    qsizetype start = from;
    for (qsizetype end : PartEnds(text_, from, separator_)) {
        parts_.append(TrimPart(text_.mid(start, end - start)));
        partEnds_.append(end);
        markerLengths_.append(MarkerLength(parts_.last()));
        if (markerLengths_.last() > 0)
            passwordParts_.append(int(parts_.size() - 1));
        start = end + 1;
    }
}

QString SeparatedConnectionString::JoinedPasswordText(int index, const QString& text) {
    QuoteScanner scanner(separator_);
    for (QChar ch : Marker(index) + text)
        scanner.Separates(ch, separator_);
    if (!scanner.Open())
        return text;
    // The rest of the string is read again after the whole password.
    QString whole = text;
    qsizetype at = partEnds_[index];
    while (at < text_.size() && !scanner.Separates(text_[at], separator_))
        whole += text_[at++];
    while (!whole.isEmpty() && IsTrimmed(whole.back()))
        whole.chop(1);
    const qsizetype kept = index + 1;
    parts_.resize(kept);
    partEnds_.resize(kept);
    markerLengths_.resize(kept);
    passwordParts_.erase(std::remove_if(passwordParts_.begin(), passwordParts_.end(),
                                        [&](int part) { return part >= kept; }),
                         passwordParts_.end());
    if (at < text_.size())
        AppendPartsFrom(at + 1);
    return whole;
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
