#include "diagnostics/EventLog.h"

#include "core/TDm.h"
#include "core/TableFields.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/InfobaseFunctions.h"
#include "platform/RegionalSettings.h"
#include "platform/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kStampSeparator = QStringLiteral("  ");

// The standard texts of the runtime's input/output errors.
EInOutError InOutError(int errorNumber) {
    switch (errorNumber) {
    case ENOENT:
        return EInOutError(QStringLiteral("File not found"));
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return EInOutError(QStringLiteral("Invalid filename"));
    case EMFILE:
    case ENFILE:
        return EInOutError(QStringLiteral("Too many open files"));
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return EInOutError(QStringLiteral("File access denied"));
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return EInOutError(QStringLiteral("Disk full"));
    default:
        return EInOutError(QStringLiteral("I/O error %1").arg(errorNumber));
    }
}

// Anything but a folder counts as a file, devices included.
bool FileExists(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

QString Quoted(const QString& name) {
    return u'"' + name + u'"';
}

QString OneCFunctionName(EventCode code) {
    switch (code) {
    case EventCode::BalancesCleared:
        return InfobaseFunctions::kClearBalances;
    case EventCode::BalancesAdded:
        return InfobaseFunctions::kAddToBalances;
    case EventCode::StockFilterSet:
        return InfobaseFunctions::kSetStockFilter;
    case EventCode::BalancesFilled:
        return InfobaseFunctions::kFillBalances;
    default:
        return InfobaseFunctions::kGetFromBalances;
    }
}

// The sentence of an event; nullopt for a code that has none.
std::optional<QString> EventText(EventCode code, const QString& connectionName,
                                 const QString& receiverName, const QString& sourceName) {
    const QString connection = QStringLiteral("Соединение с именем ") + Quoted(connectionName);
    const QString inConnection = QStringLiteral("В соединение с именем ") + Quoted(connectionName);
    const QString receiver = Quoted(receiverName) + u'.';
    const QString source = Quoted(sourceName) + u'.';
    switch (code) {
    case EventCode::Started:
        return connection + QStringLiteral(" было запущенно.");
    case EventCode::Updated:
        return connection + QStringLiteral(" обновилось.");
    case EventCode::Stopped:
        return connection + QStringLiteral(" было остановлено.");
    case EventCode::WaitsForPeriod:
        return connection + QStringLiteral(" ожидает рабочего периода.");
    case EventCode::UpdateFailed:
        return inConnection + QStringLiteral(" произошла ошибка при обновлении данных.");
    case EventCode::ReceiverOpened:
        return connection + QStringLiteral(" подключилось к приемнику данных с именем ") + receiver;
    case EventCode::SourceOpened:
        return connection + QStringLiteral(" подключилось к источнику данных с именем ") + source;
    case EventCode::ReceiverSelected:
        return inConnection +
               QStringLiteral(" выполнился \"Select\" запрос к приемнику с именем ") + receiver;
    case EventCode::BalancesCleared:
    case EventCode::BalancesAdded:
    case EventCode::StockFilterSet:
    case EventCode::BalancesFilled:
    case EventCode::BalancesRead:
        return inConnection + QStringLiteral(" функция ") + Quoted(OneCFunctionName(code)) +
               QStringLiteral(" выполнена успешно на источнике данных с именем ") + source;
    case EventCode::SourceSelected:
        return inConnection +
               QStringLiteral(" выполнился \"Select\" запрос к источнику с именем ") + source;
    case EventCode::ReceiverUpdated:
        return inConnection +
               QStringLiteral(" выполнился \"Update\" запрос к приемнику с именем ") + receiver;
    case EventCode::ReceiverClosed:
        return connection + QStringLiteral(" отключилось от приемника данных с именем ") + receiver;
    case EventCode::SourceReleased:
        return connection + QStringLiteral(" отключилось от источника данных с именем ") + source;
    case EventCode::CycleBegins:
        return connection + QStringLiteral(" начало процесса обновления данных.");
    case EventCode::CycleEnds:
        return connection + QStringLiteral(" закончило процесса обновления данных");
    default:
        return std::nullopt;
    }
}

bool IsMainEvent(EventCode code) {
    return code == EventCode::Started || code == EventCode::Updated || code == EventCode::Stopped ||
           code == EventCode::WaitsForPeriod || code == EventCode::UpdateFailed;
}

QString DateTimeText(const QVariant& value) {
    return value.isValid() && !value.isNull() ? RegionalSettings::DateTimeToText(value.toDateTime())
                                              : QString();
}

void WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.constData() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw InOutError(errno);
        written += count;
    }
}

} // namespace

EventLog::EventLog(const TDm& dm, QString programFolder, std::function<bool()> showAllLogs,
                   std::function<int()> maxSizeLogs, const Clock& clock)
    : dm_(dm)
    , programFolder_(std::move(programFolder))
    , showAllLogs_(std::move(showAllLogs))
    , maxSizeLogs_(std::move(maxSizeLogs))
    , clock_(clock) {}

QString EventLog::FolderPath() const {
    return QDir(programFolder_).filePath(QStringLiteral("Log"));
}

QString EventLog::FilePath() const {
    return QDir(FolderPath()).filePath(QStringLiteral("Logs.txt"));
}

QString EventLog::PreviousFilePath() const {
    return QDir(FolderPath()).filePath(QStringLiteral("StLogs.txt"));
}

void EventLog::LogEvent(int id, EventCode code, const QString& text) {
    const QVariantList connection =
        dm_.Connection.Lookup(Fields::Connection::Id, {id},
                              QStringLiteral("Name_Connection;Update_Time;Id_Receiver;Id_Source"));
    const QString connectionName = connection.value(0).toString();
    const QString updateTime = DateTimeText(connection.value(1));
    const QString receiverName = dm_.Receiver
                                     .Lookup(Fields::Receiver::Id, {connection.value(2).toInt()},
                                             Fields::Receiver::Name_Receiver)
                                     .value(0)
                                     .toString();
    const QString sourceName =
        dm_.Source
            .Lookup(Fields::Source::Id, {connection.value(3).toInt()}, Fields::Source::Name_Source)
            .value(0)
            .toString();

    const std::optional<QString> sentence =
        EventText(code, connectionName, receiverName, sourceName);
    // An event without a line still makes the folder and the file and checks the size.
    Append([&] {
        if (!sentence || (!IsMainEvent(code) && !showAllLogs_()))
            return QString();
        const QString stamp = code == EventCode::Updated
                                  ? updateTime
                                  : RegionalSettings::DateTimeToText(clock_.Now());
        QString lines = stamp + kStampSeparator + *sentence + kLineEnd;
        if (code == EventCode::UpdateFailed)
            lines += kLineEnd + text + kLineEnd + kLineEnd;
        return lines;
    });
}

void EventLog::LogNote(const QString& text) {
    Append([&] {
        return RegionalSettings::DateTimeToText(clock_.Now()) + kStampSeparator + text + kLineEnd;
    });
}

void EventLog::Append(const std::function<QString()>& lines) const {
    // A folder that cannot be made shows up as a failed open below.
    ::mkdir(QFile::encodeName(FolderPath()).constData(), 0777);
    RotateIfTooLarge();

    const int fd = ::open(QFile::encodeName(FilePath()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw InOutError(errno);
    // A write that fails part-way must not leave the file open for the next event.
    auto closeOnFailure = qScopeGuard([fd] { ::close(fd); });
    // Taken after the open: the time stamp is that of the writing.
    const QString text = lines();
    if (!text.isEmpty())
        WriteAll(fd, TextCodec::EncodeFileText(text));

    closeOnFailure.dismiss();
    if (::close(fd) != 0)
        throw InOutError(errno);
}

void EventLog::RotateIfTooLarge() const {
    const QByteArray path = QFile::encodeName(FilePath());
    if (!FileExists(path))
        return;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    const bool sized = fd >= 0 && ::fstat(fd, &info) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!sized)
        throw Exception(QStringLiteral("Cannot open file %1").arg(FilePath()));
    if (double(info.st_size) / 1024 / 1024 <= maxSizeLogs_())
        return;
    // A failed move leaves Logs.txt in use; the next event tries again.
    const QByteArray previous = QFile::encodeName(PreviousFilePath());
    if (FileExists(previous))
        ::unlink(previous.constData());
    ::rename(path.constData(), previous.constData());
}
