#pragma once

#include <QString>

#include <cstdio>

// Standard error as systemd's journal reads it: when standard error is the journal stream
// (JOURNAL_STREAM names its device and inode), each line carries its priority prefix, so
// "journalctl -p err" shows exactly the failures.
namespace JournalStream {

enum Priority { Error = 3, Warning = 4, Information = 6 };

bool StandardErrorIsJournal();
// The text with every line prefixed by "<priority>" when stream is standard error and that is
// the journal; unchanged otherwise.
QString Prefixed(Priority priority, const QString& text, std::FILE* stream = stderr);
// Writes the text and a line end to standard error, prefixed as above, and flushes it.
void Write(Priority priority, const QString& text);

} // namespace JournalStream
