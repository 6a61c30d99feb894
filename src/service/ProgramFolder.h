#pragma once

#include "service/UnattendedOptions.h"

#include <QLockFile>
#include <QString>
#include <QStringList>

#include <optional>

// The program's command line: "--headless", "--folder <dir>" and the options of unattended
// operation taken out of it.
struct ProgramCommandLine {
    QString Folder;        // absolute; the executable's folder unless "--folder" names one
    QStringList Arguments; // what is left for the service ("RunAll")
    UnattendedOptions Unattended;
};

// The arguments after the program path; nullopt when an option lacks its value or has a
// wrong one.
// Needs the application object (for the executable's folder).
std::optional<ProgramCommandLine> ParseProgramCommandLine(const QStringList& arguments);

// The folder's settings file "Corvane.ini". A folder copied from Windows may spell it in
// another letter case: when the exact name is missing and one file of the folder has that name
// in another case, that file is the settings file, read and written; several such files are
// refused, since any choice might lose the configuration of another.
class SettingsFileLocation {
public:
    explicit SettingsFileLocation(const QString& folder);

    // The file to read and write; the exact name when refused.
    const QString& Path() const { return path_; }
    // Empty, or why no file could be chosen, naming the candidates.
    const QString& Refusal() const { return refusal_; }

private:
    QString path_;
    QString refusal_;
};

// One running service per program folder, with a window or without: two would run the same
// connections and write over each other's settings file.
class ProgramFolderLock {
public:
    explicit ProgramFolderLock(const QString& folder);

    // Empty when the lock was taken; otherwise the reason, for the operator.
    QString TryLock();
    // After a refused TryLock: whether another running instance holds the folder.
    bool HeldByAnother() const { return heldByAnother_; }

private:
    QString folder_;
    QLockFile lock_;
    bool heldByAnother_ = false;
};
