#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// A profile file: "[Section]" lines, each followed by "key=value" lines. Section and key names
// match without letter case; a value is the text after the first "=", blanks around it
// trimmed. The constructor reads the whole file (a missing file is empty); writes change the
// text in memory until Save replaces the file atomically.
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

    // The file on disk is then the whole new text, never a torn one; a new file is readable
    // and writable by its owner only. Throws "Unable to write to <path>".
    void Save() const;

private:
    QString path_;
    // the implementer's representation follows
};
