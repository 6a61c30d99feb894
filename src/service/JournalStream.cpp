#include "service/JournalStream.h"

#include <QStringList>

#include <cstdlib>
#include <sys/stat.h>

bool JournalStream::StandardErrorIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat status {};
    if (!stream || fstat(fileno(stderr), &status) != 0)
        return false;
    const QStringList parts = QString::fromLatin1(stream).split(u':');
    bool deviceOk = false;
    bool inodeOk = false;
    return parts.size() == 2 && parts[0].toULongLong(&deviceOk) == status.st_dev && deviceOk &&
           parts[1].toULongLong(&inodeOk) == status.st_ino && inodeOk;
}

QString JournalStream::Prefixed(Priority priority, const QString& text, std::FILE* stream) {
    if (stream != stderr || !StandardErrorIsJournal())
        return text;
    const QString prefix = u'<' + QString::number(priority) + u'>';
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        line.prepend(prefix);
    return lines.join(u'\n');
}

void JournalStream::Write(Priority priority, const QString& text) {
    std::fputs((Prefixed(priority, text) + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
