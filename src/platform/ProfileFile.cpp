#include "platform/ProfileFile.h"

#include "platform/Errors.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <limits>

namespace {

bool IsBlank(QChar ch) {
    return ch == u' ' || ch == u'\t' || ch == u'\v' || ch == u'\f';
}

QStringView TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QString Fold(QStringView name) {
    return TrimBlanks(name).toString().toCaseFolded();
}

bool SameName(QStringView a, QStringView b) {
    return TrimBlanks(a).compare(TrimBlanks(b), Qt::CaseInsensitive) == 0;
}

// Far beyond any configuration, and small enough to load within a little memory.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

// The name inside "[...]", or a null view when the line is no section header.
QStringView SectionNameOf(QStringView line) {
    const QStringView trimmed = TrimBlanks(line);
    if (!trimmed.startsWith(u'['))
        return {};
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        return {};
    return TrimBlanks(trimmed.sliced(1, close - 1));
}

struct KeyLine {
    QStringView key;
    QStringView value; // as it stands in the file, blanks trimmed, quotes kept
};

bool ParseKeyLine(QStringView line, KeyLine& parsed) {
    const QStringView trimmed = TrimBlanks(line);
    if (trimmed.startsWith(u';') || trimmed.startsWith(u'['))
        return false;
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals <= 0)
        return false;
    parsed.key = TrimBlanks(trimmed.first(equals));
    parsed.value = TrimBlanks(trimmed.sliced(equals + 1));
    return !parsed.key.isEmpty();
}

// One surrounding pair of double quotes is not part of the value, as on Windows; it lets a
// value keep its blanks or its own quotes at either end.
QStringView Unquote(QStringView stored) {
    if (stored.size() >= 2 && stored.front() == u'"' && stored.back() == u'"')
        return stored.sliced(1, stored.size() - 2);
    return stored;
}

QString Quote(const QString& value) {
    if (value.isEmpty())
        return value;
    const QChar first = value.front();
    const QChar last = value.back();
    if (IsBlank(first) || IsBlank(last) || first == u'"' || last == u'"')
        return u'"' + value + u'"';
    return value;
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

ProfileFile::ProfileFile(QString path)
    : path_(std::move(path)) {
    QFile file(path_);
    if (!file.exists())
        return;
    const QString failure = QStringLiteral("Unable to read from ") + path_;
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(failure);
    if (file.size() > kMaxFileSize) {
        throw Exception(failure + QStringLiteral(": it is larger than %1 MiB, too large for a "
                                                 "settings file")
                                      .arg(kMaxFileSize / (1024 * 1024)));
    }
    std::optional<TextCodec::FileText> decoded;
    {
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw Exception(failure);
        decoded = TextCodec::DecodeFileText(bytes);
    }
    if (!decoded) {
        throw Exception(failure + QStringLiteral(": it is not text in UTF-8, Windows-1251 or "
                                                 "UTF-16 with a byte-order mark; it was left "
                                                 "unchanged"));
    }
    encoding_ = decoded->encoding;
    text_ = std::move(decoded->text);

    const QStringView text(text_);
    lines_.reserve(text.count(u'\n') + 1);
    qsizetype start = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        if (end > start && text[end - 1] == u'\r')
            --end;
        lines_.push_back(
            Line{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start)});
        if (!SectionNameOf(text.sliced(start, end - start)).isNull())
            sectionStarts_.push_back(static_cast<qsizetype>(lines_.size()) - 1);
        start = next;
    }
}

QStringView ProfileFile::LineText(qsizetype line) const {
    const Line& stored = lines_[static_cast<std::size_t>(line)];
    return QStringView(text_).sliced(stored.begin, stored.length);
}

qsizetype ProfileFile::FindSection(QStringView name) const {
    if (foundSection_ != kNoLine && foundName_ == name)
        return foundSection_;
    for (std::size_t i = 0; i < sectionStarts_.size(); ++i) {
        if (SameName(SectionNameOf(LineText(sectionStarts_[i])), name)) {
            foundName_ = name.toString();
            foundSection_ = static_cast<qsizetype>(i);
            return foundSection_;
        }
    }
    return kNoLine;
}

qsizetype ProfileFile::SectionEnd(qsizetype section) const {
    const std::size_t next = static_cast<std::size_t>(section) + 1;
    return next < sectionStarts_.size() ? sectionStarts_[next]
                                        : static_cast<qsizetype>(lines_.size());
}

qsizetype ProfileFile::FindKeyLine(qsizetype section, QStringView key) const {
    if (section == indexedSection_)
        return keyIndex_.value(Fold(key), kNoLine);
    const qsizetype end = SectionEnd(section);
    for (qsizetype line = sectionStarts_[static_cast<std::size_t>(section)] + 1; line < end;
         ++line) {
        KeyLine parsed;
        if (ParseKeyLine(LineText(line), parsed) && SameName(parsed.key, key))
            return line;
    }
    return kNoLine;
}

const QHash<QString, qsizetype>& ProfileFile::KeyIndex(qsizetype section) {
    if (section != indexedSection_) {
        keyIndex_.clear();
        const qsizetype end = SectionEnd(section);
        for (qsizetype line = sectionStarts_[static_cast<std::size_t>(section)] + 1; line < end;
             ++line) {
            KeyLine parsed;
            if (ParseKeyLine(LineText(line), parsed)) {
                const QString folded = Fold(parsed.key);
                if (!keyIndex_.contains(folded))
                    keyIndex_.insert(folded, line);
            }
        }
        indexedSection_ = section;
    }
    return keyIndex_;
}

ProfileFile::Line ProfileFile::Store(QStringView text) {
    if (text_.size() + text.size() > std::numeric_limits<std::uint32_t>::max())
        throw Exception(QStringLiteral("Unable to write to ") + path_);
    const Line stored{static_cast<std::uint32_t>(text_.size()),
                      static_cast<std::uint32_t>(text.size())};
    text_ += text;
    return stored;
}

QString ProfileFile::ReadString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    const qsizetype found = FindSection(section);
    if (found == kNoLine)
        return defaultValue;
    const qsizetype line = FindKeyLine(found, key);
    KeyLine parsed;
    if (line == kNoLine || !ParseKeyLine(LineText(line), parsed))
        return defaultValue;
    return Unquote(parsed.value).toString();
}

int ProfileFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const QString text = ReadString(section, key);
    bool ok = false;
    int value = 0;
    if (text.startsWith(u"0x", Qt::CaseInsensitive)) {
        const QStringView digits = QStringView(text).sliced(2);
        // toInt would also take a sign or blanks after the prefix
        if (!digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar ch) {
                return ch.isDigit() || (ch.toLower() >= u'a' && ch.toLower() <= u'f');
            })) {
            // all 32 bits, so that 0xFFFFFFFF reads as -1
            value = static_cast<int>(digits.toUInt(&ok, 16));
        }
    } else {
        const QStringView digits =
            QStringView(text).sliced(text.startsWith(u'-') || text.startsWith(u'+') ? 1 : 0);
        if (!digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                             [](QChar ch) { return ch >= u'0' && ch <= u'9'; }))
            value = text.toInt(&ok, 10);
    }
    return ok ? value : defaultValue;
}

QStringList ProfileFile::ReadSection(const QString& section) const {
    QStringList result;
    QSet<QString> seen;
    ForEachKeyLine(section, [&](QStringView key, QStringView value) {
        if (!seen.contains(Fold(key))) {
            seen.insert(Fold(key));
            result.append(key.toString() + u'=' + value.toString());
        }
    });
    return result;
}

void ProfileFile::ForEachKeyLine(
    const QString& section,
    const std::function<void(QStringView key, QStringView value)>& visit) const {
    const qsizetype found = FindSection(section);
    if (found == kNoLine)
        return;
    const qsizetype end = SectionEnd(found);
    for (qsizetype line = sectionStarts_[static_cast<std::size_t>(found)] + 1; line < end; ++line) {
        KeyLine parsed;
        if (ParseKeyLine(LineText(line), parsed))
            visit(parsed.key, Unquote(parsed.value));
    }
}

void ProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QStringView sectionName = TrimBlanks(section);
    if (sectionName.isEmpty() || sectionName.contains(u']') || HasLineBreak(section))
        throw Exception(QStringLiteral("Invalid section name '%1'").arg(section));
    const QStringView keyName = TrimBlanks(key);
    if (keyName.isEmpty() || keyName.contains(u'=') || keyName.startsWith(u';') ||
        keyName.startsWith(u'[') || HasLineBreak(key))
        throw Exception(QStringLiteral("Invalid key name '%1'").arg(key));
    if (HasLineBreak(value)) {
        throw Exception(
            QStringLiteral("The value of %1 in section %2 holds a line break").arg(key, section));
    }

    qsizetype target = FindSection(sectionName);
    if (target == kNoLine) {
        lines_.push_back(Store(QString(u'[' + sectionName.toString() + u']')));
        sectionStarts_.push_back(static_cast<qsizetype>(lines_.size()) - 1);
        target = static_cast<qsizetype>(sectionStarts_.size()) - 1;
    }

    const qsizetype index = KeyIndex(target).value(Fold(keyName), kNoLine);
    KeyLine parsed;
    if (index != kNoLine && ParseKeyLine(LineText(index), parsed)) {
        // the key keeps its spelling in the file
        const QString line = parsed.key.toString() + u'=' + Quote(value);
        lines_[static_cast<std::size_t>(index)] = Store(line);
        return;
    }
    // After the section's last non-blank line, so that a blank line before the next header
    // stays where it is; only blank lines move.
    const qsizetype header = sectionStarts_[static_cast<std::size_t>(target)];
    qsizetype position = SectionEnd(target);
    while (position > header + 1 && TrimBlanks(LineText(position - 1)).isEmpty())
        --position;
    const Line added = Store(QString(keyName.toString() + u'=' + Quote(value)));
    lines_.insert(lines_.begin() + position, added);
    for (std::size_t later = static_cast<std::size_t>(target) + 1; later < sectionStarts_.size();
         ++later)
        ++sectionStarts_[later];
    // Only blank lines of this section moved, so its index holds.
    keyIndex_.insert(Fold(keyName), position);
}

bool ProfileFile::Save() const {
    qsizetype size = 0;
    for (const Line& line : lines_)
        size += line.length + 2;
    QString text;
    text.reserve(size);
    for (std::size_t line = 0; line < lines_.size(); ++line) {
        text += LineText(static_cast<qsizetype>(line));
        text += u"\r\n";
    }
    const QByteArray bytes = TextCodec::EncodeFileText(text, encoding_);

    const QString failure = QStringLiteral("Unable to write to ") + path_;
    const QFileInfo existing(path_);
    // Replacing by rename would get past a read-only file; the profile functions do not.
    if (existing.exists() && !existing.isWritable())
        throw Exception(failure);
    constexpr QFileDevice::Permissions othersRights =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const bool othersHadRights = existing.exists() && (existing.permissions() & othersRights);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(failure);
    // Set on every save: the replacement would otherwise take over the old file's rights.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw Exception(failure);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Exception(failure);
    return othersHadRights;
}
