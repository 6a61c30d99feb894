#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// A profile file: "[Section]" lines, each followed by "key=value" lines. Section and key names
// match without letter case; a value is the text after the first "=", blanks around it
// trimmed. The constructor reads the whole file (a missing file is empty); writes change the
// text in memory until Save replaces the file atomically. An existing file that cannot be read
// throws "Unable to read from <path>".
class ProfileFile {
public:
    explicit ProfileFile(QString path);

    const QString& Path() const { return path_; }

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    // Decimal with an optional sign, or "0x" and hexadecimal digits; anything else gives the
    // default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // The section's key lines as "key=value" (value as ReadString gives it), in file order.
    QStringList ReadSection(const QString& section) const;

    // Replaces the key's value where it stands, or adds the key at the end of its section, or
    // the section at the end of the file. A value comes back from ReadString exactly as
    // written; a value with a line break is refused.
    void WriteString(const QString& section, const QString& key, const QString& value);

    // The file on disk is then the whole new text, never a torn one, readable and writable by
    // its owner only: it holds passwords. True when the file had rights for others that this
    // took away. Throws "Unable to write to <path>".
    bool Save() const;

private:
    // A section's lines as they stand: its header line first (none for the lines before the
    // first header), then every line up to the next header.
    struct Section {
        QStringList lines;
        QHash<QString, qsizetype> keyLines; // folded key name -> line of its first occurrence
    };

    const Section* FindSection(const QString& section) const;
    static qsizetype FindKeyLine(const Section& section, const QString& key);

    QString path_;
    std::vector<Section> sections_;
    QHash<QString, std::size_t> sectionIndex_; // folded name -> first section of that name
};
