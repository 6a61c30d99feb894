#pragma once

#include <QByteArray>
#include <QString>

// Counts the times a file was put in place by rename, as every atomic save of it does, from
// the kernel's notices on its folder. Read on the thread that made it.
class FileReplacementCounter {
public:
    explicit FileReplacementCounter(const QString& path);
    ~FileReplacementCounter();
    FileReplacementCounter(const FileReplacementCounter&) = delete;
    FileReplacementCounter& operator=(const FileReplacementCounter&) = delete;

    // The replacements since construction; -1 when the folder could not be watched.
    int Count();

private:
    QByteArray fileName_;
    int descriptor_;
    int count_ = 0;
};
