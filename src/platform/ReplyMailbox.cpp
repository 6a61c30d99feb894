#include "platform/ReplyMailbox.h"

#include <QMetaObject>
#include <QObject>

ReplyMailbox::ReplyMailbox()
    : receiver_(std::make_unique<QObject>()) {}

ReplyMailbox::~ReplyMailbox() = default;

void ReplyMailbox::Post(std::function<void()> answer) {
    const std::lock_guard<std::mutex> guard(lock_);
    if (receiver_)
        QMetaObject::invokeMethod(receiver_.get(), std::move(answer), Qt::QueuedConnection);
}

void ReplyMailbox::Close() {
    // Answers already posted go with their receiver.
    const std::lock_guard<std::mutex> guard(lock_);
    receiver_.reset();
}
