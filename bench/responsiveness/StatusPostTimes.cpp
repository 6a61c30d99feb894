#include "StatusPostTimes.h"

#include "core/RecordSet.h"

#include <QElapsedTimer>
#include <QScopeGuard>

StatusPostTimes::StatusPostTimes(RecordSet& connection)
    : connection_(connection)
    , afterPost_(connection.AfterPost)
    , afterRowUpdate_(connection.AfterRowUpdate) {
    connection.AfterPost = Timed(afterPost_);
    connection.AfterRowUpdate = Timed(afterRowUpdate_);
}

StatusPostTimes::~StatusPostTimes() {
    connection_.AfterPost = afterPost_;
    connection_.AfterRowUpdate = afterRowUpdate_;
}

StatusPostTimes::Handler StatusPostTimes::Timed(Handler handler) {
    return [this, handler](RecordSet& table) {
        QElapsedTimer timer;
        timer.start();
        // Counted also when the save throws: the main thread spent the time all the same.
        const auto record = qScopeGuard([this, &timer] {
            const qint64 elapsed = timer.nsecsElapsed();
            totalNs_ += elapsed;
            postMs_.push_back(double(elapsed) / 1.0e6);
        });
        if (handler)
            handler(table);
    };
}
