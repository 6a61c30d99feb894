#include "FileReplacementCounter.h"

#include <QFile>
#include <QFileInfo>

#include <sys/inotify.h>
#include <unistd.h>

FileReplacementCounter::FileReplacementCounter(const QString& path)
    : fileName_(QFile::encodeName(QFileInfo(path).fileName()))
    , descriptor_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    // The temporary files' names keep the kernel from merging one replacement with the next.
    if (descriptor_ >= 0 &&
        inotify_add_watch(descriptor_, QFile::encodeName(QFileInfo(path).path()).constData(),
                          IN_MOVED_FROM | IN_MOVED_TO) < 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

FileReplacementCounter::~FileReplacementCounter() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

int FileReplacementCounter::Count() {
    if (descriptor_ < 0)
        return -1;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(descriptor_, buffer, sizeof buffer);
        if (length <= 0)
            return count_;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if ((event->mask & IN_MOVED_TO) && event->len > 0 && fileName_ == event->name)
                ++count_;
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}
