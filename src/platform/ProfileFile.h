#pragma once

#include "platform/TextCodec.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <vector>

// A profile file: "[Section]" lines, each followed by "key=value" lines. Section and key names
// match without letter case; a value is the text after the first "=", blanks around it
// trimmed. Where a section or a key stands twice, the first one is read and written; the later
// ones stay in the file as they are, as with the Windows profile functions. The constructor
// reads the whole file (a missing file is empty); writes change the text in memory until Save
// replaces the file atomically. An existing file that cannot be read, that is no text or that
// is larger than a settings file can sensibly be throws "Unable to read from <path>: ...".
// The text is held once, with a few bytes per line, so that any file costs a small multiple of
// its size.
class ProfileFile {
public:
    explicit ProfileFile(QString path);

    const QString& Path() const { return path_; }

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    // Decimal with an optional sign, or "0x" and hexadecimal digits; anything else gives the
    // default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // The section's keys as "key=value" (value as ReadString gives it), in file order.
    QStringList ReadSection(const QString& section) const;
    // Every key line of the section in file order, later duplicates too; the views stay valid
    // until the next write.
    void ForEachKeyLine(const QString& section,
                        const std::function<void(QStringView key, QStringView value)>& visit) const;

    // Replaces the key's value where it stands, or adds the key at the end of its section, or
    // the section at the end of the file. A value comes back from ReadString exactly as
    // written; a value with a line break is refused.
    void WriteString(const QString& section, const QString& key, const QString& value);

    // The file on disk is then the whole new text, never a torn one, in the encoding it was
    // read in, readable and writable by its owner only: it holds passwords. True when the file
    // had rights for others that this took away. Throws "Unable to write to <path>".
    bool Save() const;

private:
    struct Line {
        std::uint32_t begin = 0; // in text_
        std::uint32_t length = 0;
    };
    static constexpr qsizetype kNoLine = -1;

    QStringView LineText(qsizetype line) const;
    // The index into sectionStarts_, or kNoLine.
    qsizetype FindSection(QStringView name) const;
    qsizetype SectionEnd(qsizetype section) const;
    qsizetype FindKeyLine(qsizetype section, QStringView key) const;
    const QHash<QString, qsizetype>& KeyIndex(qsizetype section);
    Line Store(QStringView text);

    QString path_;
    TextCodec::FileEncoding encoding_ = TextCodec::FileEncoding::Utf8;
    QString text_; // the lines as read, then each written line appended
    std::vector<Line> lines_;
    std::vector<qsizetype> sectionStarts_; // the header line of each section, in file order
    // Writes go to one section after another; its keys are indexed while it is written to.
    qsizetype indexedSection_ = kNoLine;
    QHash<QString, qsizetype> keyIndex_;
    mutable QString foundName_;
    mutable qsizetype foundSection_ = kNoLine;
};
