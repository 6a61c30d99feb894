#pragma once

#include <functional>
#include <memory>
#include <mutex>

class QObject;

// Where work running on a thread of its own hands its answer back to the thread that made the
// mailbox. Once the mailbox is closed, answers posted or still to come are dropped, so the owner
// can go without waiting for the work. Shared by the owner and the work.
class ReplyMailbox {
public:
    ReplyMailbox();
    ~ReplyMailbox();
    ReplyMailbox(const ReplyMailbox&) = delete;
    ReplyMailbox& operator=(const ReplyMailbox&) = delete;

    // Any thread: answer runs later on the owner's thread, unless the mailbox is closed first.
    void Post(std::function<void()> answer);
    // The owner's thread.
    void Close();

private:
    std::mutex lock_;
    std::unique_ptr<QObject> receiver_;
};
