// The event log writing every event of every connection of a settings file of any bytes: the
// size limit and the connection, receiver and source names all come from the file.
#include "FuzzInput.h"
#include "LoadedSettingsFile.h"

#include "diagnostics/EventLog.h"
#include "platform/Clock.h"

#include <QDir>

#include <algorithm>

namespace {

// One code of each form of line: the update time as stamp, the error with its text, the
// receiver's and the source's name, a function name, a code without a sentence.
// 21 has no name: the log must cope with a code it does not know.
constexpr int kCodes[] = {1, 2, 6, 7, 8, 10, 21};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LoadedSettingsFile loaded(FuzzInput::Bytes(data, size));
    const ServiceSettings& settings = loaded.settings;
    const TDm& dm = loaded.configuration.dm;

    const QString folder = FuzzInput::ScratchPath(QStringLiteral("program"));
    QDir().mkpath(folder);
    VirtualClock clock(QDateTime(QDate(2026, 3, 29), QTime(2, 30)));
    EventLog log(
        dm, folder, [&] { return settings.ShowAllLogs; }, [&] { return settings.MaxSizeLogs; },
        clock);
    // The first rows, and an Id that no row holds: each event opens and closes the file.
    QList<int> ids{-1};
    const QList<QVariantList> rows = dm.Connection.StoredRows();
    for (const QVariantList& row : rows.first(std::min<qsizetype>(rows.size(), 3)))
        ids.append(row.value(0).toInt());
    for (int id : ids)
        for (int code : kCodes)
            log.LogEvent(id, EventCode(code), QStringLiteral("text of the error"));
    log.LogNote(QStringLiteral("note"));
    QDir(folder).removeRecursively();
    return 0;
}
