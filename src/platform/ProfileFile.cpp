#include "platform/ProfileFile.h"

#include "platform/Errors.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

bool IsBlank(QChar ch) {
    return ch == u' ' || ch == u'\t' || ch == u'\v' || ch == u'\f';
}

QStringView TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

QString Fold(QStringView name) {
    return TrimBlanks(name).toString().toCaseFolded();
}

// The name inside "[...]", or a null view when the line is no section header.
QStringView SectionNameOf(QStringView line) {
    const QStringView trimmed = TrimBlanks(line);
    if (!trimmed.startsWith(u'[')) {
        return {};
    }
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0) {
        return {};
    }
    return TrimBlanks(trimmed.sliced(1, close - 1));
}

struct KeyLine {
    QStringView key;
    QStringView value; // as it stands in the file, blanks trimmed, quotes kept
};

bool ParseKeyLine(QStringView line, KeyLine& parsed) {
    const QStringView trimmed = TrimBlanks(line);
    if (trimmed.startsWith(u';') || trimmed.startsWith(u'[')) {
        return false;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals <= 0) {
        return false;
    }
    parsed.key = TrimBlanks(trimmed.first(equals));
    parsed.value = TrimBlanks(trimmed.sliced(equals + 1));
    return !parsed.key.isEmpty();
}

// One surrounding pair of double quotes is not part of the value, as on Windows; it lets a
// value keep its blanks or its own quotes at either end.
QString Unquote(QStringView stored) {
    if (stored.size() >= 2 && stored.front() == u'"' && stored.back() == u'"') {
        return stored.sliced(1, stored.size() - 2).toString();
    }
    return stored.toString();
}

QString Quote(const QString& value) {
    if (value.isEmpty()) {
        return value;
    }
    const QChar first = value.front();
    const QChar last = value.back();
    if (IsBlank(first) || IsBlank(last) || first == u'"' || last == u'"') {
        return u'"' + value + u'"';
    }
    return value;
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

ProfileFile::ProfileFile(QString path)
    : path_(std::move(path)) {
    sections_.emplace_back(); // the lines before the first header
    QFile file(path_);
    if (!file.exists()) {
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        throw Exception(QStringLiteral("Unable to read from ") + path_);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw Exception(QStringLiteral("Unable to read from ") + path_);
    }
    QString text = TextCodec::DecodeFileText(bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }

    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0) {
            end = text.size();
        }
        if (end > start && text[end - 1] == u'\r') {
            --end;
        }
        const QString line = text.sliced(start, end - start);
        start = next;

        const QStringView name = SectionNameOf(line);
        if (!name.isNull()) {
            const QString folded = Fold(name);
            if (!sectionIndex_.contains(folded)) {
                sectionIndex_.insert(folded, sections_.size());
            }
            sections_.emplace_back();
        }
        Section& section = sections_.back();
        KeyLine parsed;
        if (name.isNull() && ParseKeyLine(line, parsed)) {
            const QString folded = Fold(parsed.key);
            if (!section.keyLines.contains(folded)) {
                section.keyLines.insert(folded, section.lines.size());
            }
        }
        section.lines.append(line);
    }
}

const ProfileFile::Section* ProfileFile::FindSection(const QString& section) const {
    const auto found = sectionIndex_.constFind(Fold(section));
    return found == sectionIndex_.cend() ? nullptr : &sections_[found.value()];
}

qsizetype ProfileFile::FindKeyLine(const Section& section, const QString& key) {
    return section.keyLines.value(Fold(key), -1);
}

QString ProfileFile::ReadString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return defaultValue;
    }
    const qsizetype index = FindKeyLine(*found, key);
    KeyLine parsed;
    if (index < 0 || !ParseKeyLine(found->lines[index], parsed)) {
        return defaultValue;
    }
    return Unquote(parsed.value);
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
                                             [](QChar ch) { return ch >= u'0' && ch <= u'9'; })) {
            value = text.toInt(&ok, 10);
        }
    }
    return ok ? value : defaultValue;
}

QStringList ProfileFile::ReadSection(const QString& section) const {
    QStringList result;
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return result;
    }
    for (qsizetype i = 1; i < found->lines.size(); ++i) {
        KeyLine parsed;
        if (ParseKeyLine(found->lines[i], parsed)) {
            result.append(parsed.key.toString() + u'=' + Unquote(parsed.value));
        }
    }
    return result;
}

void ProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QStringView sectionName = TrimBlanks(section);
    if (sectionName.isEmpty() || sectionName.contains(u']') || HasLineBreak(section)) {
        throw Exception(QStringLiteral("Invalid section name '%1'").arg(section));
    }
    const QStringView keyName = TrimBlanks(key);
    if (keyName.isEmpty() || keyName.contains(u'=') || keyName.startsWith(u';') ||
        keyName.startsWith(u'[') || HasLineBreak(key)) {
        throw Exception(QStringLiteral("Invalid key name '%1'").arg(key));
    }
    if (HasLineBreak(value)) {
        throw Exception(
            QStringLiteral("The value of %1 in section %2 holds a line break").arg(key, section));
    }

    const QString folded = Fold(sectionName);
    auto sectionFound = sectionIndex_.constFind(folded);
    if (sectionFound == sectionIndex_.cend()) {
        sectionFound = sectionIndex_.insert(folded, sections_.size());
        Section added;
        added.lines.append(u'[' + sectionName.toString() + u']');
        sections_.push_back(std::move(added));
    }
    Section& target = sections_[sectionFound.value()];

    const qsizetype index = FindKeyLine(target, key);
    KeyLine parsed;
    if (index >= 0 && ParseKeyLine(target.lines[index], parsed)) {
        // the key keeps its spelling in the file
        target.lines[index] = parsed.key.toString() + u'=' + Quote(value);
        return;
    }
    // After the section's last non-blank line, so that a blank line before the next header
    // stays where it is; only blank lines move.
    qsizetype position = target.lines.size();
    while (position > 1 && TrimBlanks(target.lines[position - 1]).isEmpty()) {
        --position;
    }
    target.lines.insert(position, keyName.toString() + u'=' + Quote(value));
    target.keyLines.insert(Fold(keyName), position);
}

bool ProfileFile::Save() const {
    qsizetype size = 0;
    for (const Section& section : sections_) {
        for (const QString& line : section.lines) {
            size += line.size() + 2;
        }
    }
    QString text;
    text.reserve(size);
    for (const Section& section : sections_) {
        for (const QString& line : section.lines) {
            text += line;
            text += u"\r\n";
        }
    }
    const QByteArray bytes = TextCodec::EncodeFileText(text);

    const QString failure = QStringLiteral("Unable to write to ") + path_;
    const QFileInfo existing(path_);
    // Replacing by rename would get past a read-only file; the profile functions do not.
    if (existing.exists() && !existing.isWritable()) {
        throw Exception(failure);
    }
    constexpr QFileDevice::Permissions othersRights =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const bool othersHadRights = existing.exists() && (existing.permissions() & othersRights);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        throw Exception(failure);
    }
    // Set on every save: the replacement would otherwise take over the old file's rights.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        throw Exception(failure);
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        throw Exception(failure);
    }
    return othersHadRights;
}
