#pragma once

#include <QtGlobal>

#include <functional>
#include <vector>

class RecordSet;

// Times every post of the Connection table's rows, which is where the settings file is
// rewritten: the table's own posts and the workers' row updates. The service's handlers stay
// in place and run inside the timing; they are put back as they were on destruction.
class StatusPostTimes {
public:
    explicit StatusPostTimes(RecordSet& connection);
    ~StatusPostTimes();
    StatusPostTimes(const StatusPostTimes&) = delete;
    StatusPostTimes& operator=(const StatusPostTimes&) = delete;

    // Main-thread time spent in posts so far.
    qint64 TotalNs() const { return totalNs_; }
    // The time of each post, in milliseconds, in the order they ran.
    const std::vector<double>& PostMs() const { return postMs_; }

private:
    using Handler = std::function<void(RecordSet&)>;
    Handler Timed(Handler handler);

    RecordSet& connection_;
    Handler afterPost_;
    Handler afterRowUpdate_;
    qint64 totalNs_ = 0;
    std::vector<double> postMs_;
};
