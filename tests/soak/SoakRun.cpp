#include "SoakRun.h"

#include "core/RecordSet.h"
#include "core/TableFields.h"
#include "engine/ConnectionControl.h"
#include "engine/TWorkThread.h"
#include "platform/Clock.h"
#include "platform/InfobaseFunctions.h"
#include "platform/MainThreadHandOver.h"
#include "service/TSynchronization_Service.h"
#include "support/EngineFixture.h"
#include "support/ProcessResources.h"
#include "support/SettingsConfiguration.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QTime>

#include <cstdio>
#include <optional>

namespace {

// The first steps find how many files and threads the process keeps once every path ran.
constexpr int kWarmUpSteps = 30;
constexpr int kSettleMs = 60000;
const QDateTime kStart(QDate(2026, 3, 2), QTime(10, 0));

const char* ActionName(SoakAction action) {
    static const char* const names[] = {"source cannot open",
                                        "source query fails",
                                        "receiver cannot open",
                                        "receiver refuses mid-update",
                                        "infobase reports an error",
                                        "infobase dies",
                                        "infobase answer garbled",
                                        "operator start",
                                        "operator stop while waiting",
                                        "operator stop during a cycle",
                                        "watchdog tick",
                                        "watchdog after a stale cycle"};
    return names[size_t(action)];
}

// The main events of the log by the end of their sentence.
std::optional<EventCode> MainEventOf(const QString& line) {
    static const QList<std::pair<QString, EventCode>> endings = {
        {QStringLiteral(" было запущенно."), EventCode::Started},
        {QStringLiteral(" обновилось."), EventCode::Updated},
        {QStringLiteral(" было остановлено."), EventCode::Stopped},
        {QStringLiteral(" ожидает рабочего периода."), EventCode::WaitsForPeriod},
        {QStringLiteral(" произошла ошибка при обновлении данных."), EventCode::UpdateFailed}};
    for (const auto& [ending, code] : endings)
        if (line.contains(ending))
            return code;
    return std::nullopt;
}

QStringList InfobaseCalls() {
    return {QStringLiteral("RMTrade"),          QStringLiteral("Initialize"),
            InfobaseFunctions::kClearBalances,  InfobaseFunctions::kAddToBalances,
            InfobaseFunctions::kSetStockFilter, InfobaseFunctions::kFillBalances,
            InfobaseFunctions::kGetFromBalances};
}

// The descriptors a connection or a child left behind would hold; the libraries' own files,
// opened once on first use, are not among them.
QStringList Leakable() {
    QStringList leakable;
    const QStringList open = ProcessResources::OpenFiles();
    for (const QString& target : open)
        if (target.startsWith(QLatin1String("socket:")) ||
            target.startsWith(QLatin1String("pipe:")) || target.contains(QLatin1String(".fdb")) ||
            target.contains(QLatin1String(".sqlite")))
            leakable.append(target);
    return leakable;
}

// A socket by what /proc/net tells of it (TCP ports in hex, or a Unix socket's path), so a
// report tells a Firebird attachment from the other kinds; anything else as it is.
QString Described(const QString& target) {
    if (!target.startsWith(QLatin1String("socket:[")))
        return target;
    const QString inode = target.mid(8).chopped(1);
    for (const auto& [table, inodeColumn] :
         {std::pair{"tcp", 9}, std::pair{"tcp6", 9}, std::pair{"unix", 6}}) {
        QFile file(QStringLiteral("/proc/self/net/") + QLatin1String(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QStringList lines = QString::fromLatin1(file.readAll()).split(u'\n');
        for (const QString& line : lines) {
            const QStringList fields = line.simplified().split(u' ');
            if (fields.size() <= inodeColumn || fields.at(inodeColumn) != inode)
                continue;
            const bool unix = inodeColumn == 6;
            return QStringLiteral("%1(%2 %3)")
                .arg(target, QLatin1String(table),
                     unix ? fields.value(7) : fields.at(1) + u'>' + fields.at(2));
        }
    }
    return target;
}

QStringList Described(const QStringList& targets) {
    QStringList described;
    for (const QString& target : targets)
        described.append(Described(target));
    return described;
}

} // namespace

SoakRun::SoakRun(quint32 seed, int cycles)
    : seed_(seed)
    , cycles_(cycles)
    , random_(seed)
    , clock_(std::make_shared<VirtualClock>(kStart))
    , handOver_(std::make_shared<MainThreadHandOver>()) {}

SoakRun::~SoakRun() = default;

bool SoakRun::Chance(double probability) {
    return std::uniform_real_distribution<double>(0, 1)(random_) < probability;
}

int SoakRun::Below(int bound) {
    return std::uniform_int_distribution<int>(0, bound - 1)(random_);
}

void SoakRun::Configure() {
    QFile settings(folder_.filePath(QStringLiteral("Corvane.ini")));
    // The log must not be moved aside while the run reads it.
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write("[Settings]\r\nNumberAttempts=3\r\nMaxSizeLogs=1000\r\n") < 0)
        qFatal("cannot write the settings file");
    settings.close();

    struct Plan {
        const char* Name;
        const char* FileName;
        bool OneC;
        TestDatabaseKind Receiver;
        int Minutes;
    };
    const Plan plans[] = {{"Альфа", "alpha", false, TestDatabaseKind::FirebirdServer, 1},
                          {"Бета", "beta", false, TestDatabaseKind::FirebirdServer, 2},
                          {"Гамма", "gamma", true, TestDatabaseKind::FirebirdServer, 1},
                          {"Дельта", "delta", true, TestDatabaseKind::FirebirdServer, 3}};
    for (const Plan& plan : plans)
        connections_.push_back(std::make_unique<SoakConnection>(
            QString::fromUtf8(plan.Name), QString::fromLatin1(plan.FileName), plan.OneC,
            plan.Receiver, databases_));
    ApplyFaults();

    ServiceEnvironment environment;
    environment.ProgramFolder = folder_.path();
    environment.TimeSource = clock_;
    environment.HandOver = handOver_;
    environment.OperatorPrompts = &prompts_;
    environment.Window = &window_;
    service_ = std::make_unique<TSynchronization_Service>(dm_, environment);
    if (!service_->Loaded())
        qFatal("the settings file did not load: %s", qPrintable(service_->LoadError()));

    for (size_t index = 0; index < connections_.size(); ++index) {
        const SoakConnection& connection = *connections_[index];
        dm_.Receiver.Insert();
        dm_.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString(connection.Name());
        dm_.Receiver.FieldByName(Fields::Receiver::Connection_String)
            .SetAsString(connection.ReceiverString());
        dm_.Receiver.FieldByName(Fields::Receiver::Id_Connection_Types).SetAsInteger(1);
        dm_.Receiver.FieldByName(Fields::Receiver::Name_Table)
            .SetAsString(QStringLiteral("Stock_Balance"));
        dm_.Receiver.FieldByName(Fields::Receiver::Key_Field).SetAsString(QStringLiteral("Partno"));
        dm_.Receiver.FieldByName(Fields::Receiver::Name_Updated_Field)
            .SetAsString(QStringLiteral("Quantity"));
        dm_.Receiver.Post();
        const int receiverId = dm_.Receiver.FieldByName(Fields::Receiver::Id).AsInteger();

        dm_.Source.Insert();
        dm_.Source.FieldByName(Fields::Source::Name_Source).SetAsString(connection.Name());
        dm_.Source.FieldByName(Fields::Source::Connection_String)
            .SetAsString(connection.SourceString());
        dm_.Source.FieldByName(Fields::Source::Id_Connection_Types)
            .SetAsInteger(connection.OneC() ? 2 : 1);
        dm_.Source.FieldByName(Fields::Source::SQL_Query).SetAsString(connection.SourceQuery());
        dm_.Source.FieldByName(Fields::Source::Name_Docking_Field)
            .SetAsString(QStringLiteral("code"));
        dm_.Source.FieldByName(Fields::Source::Name_Updated_Field)
            .SetAsString(QStringLiteral("qty"));
        if (connection.OneC())
            dm_.Source.FieldByName(Fields::Source::CustomParameter)
                .SetAsString(QStringLiteral("Основной"));
        dm_.Source.Post();
        const int sourceId = dm_.Source.FieldByName(Fields::Source::Id).AsInteger();

        dm_.Connection.Insert();
        dm_.Connection.FieldByName(Fields::Connection::Name_Connection)
            .SetAsString(connection.Name());
        dm_.Connection.FieldByName(Fields::Connection::Id_Receiver).SetAsInteger(receiverId);
        dm_.Connection.FieldByName(Fields::Connection::Id_Source).SetAsInteger(sourceId);
        dm_.Connection.FieldByName(Fields::Connection::Time_Update)
            .SetAsInteger(plans[index].Minutes);
        for (const QString& day : Fields::Connection::WeekDays)
            dm_.Connection.FieldByName(day).SetAsInteger(1);
        dm_.Connection.FieldByName(Fields::Connection::TimeStart).SetAsTime(QTime(0, 0));
        dm_.Connection.FieldByName(Fields::Connection::TimeEnd).SetAsTime(QTime(23, 59, 59));
        dm_.Connection.Post();
        ids_.append(dm_.Connection.FieldByName(Fields::Connection::Id).AsInteger());
    }
    dm_.TaskScheduler.start();
    service_->StartAllConnections();
}

bool SoakRun::Run() {
    std::printf("soak: seed %u, %d cycles\n", seed_, cycles_);
    std::fflush(stdout);
    QElapsedTimer elapsed;
    elapsed.start();
    Configure();
    int step = 0;
    for (; Passes() < cycles_; ++step) {
        if (step > 0)
            Step();
        else
            TickWatchdog();
        if (const QStringList unsettled = Settle(); !unsettled.isEmpty()) {
            Fail(step, unsettled + Broken(step));
            return false;
        }
        const QStringList broken = Broken(step);
        if (!broken.isEmpty()) {
            Fail(step, broken);
            return false;
        }
        prompts_.Clear();
    }
    service_.reset();
    for (const auto& connection : connections_)
        connection->CloseProbe();
    QStringList ended;
    if (!EngineFixture::WaitUntil([] { return ProcessResources::Children() == 0; }, 5000))
        ended.append(QStringLiteral("child processes outlive the service"));
    if (!QSqlDatabase::connectionNames().isEmpty())
        ended.append(QStringLiteral("database connections outlive the service: ") +
                     QSqlDatabase::connectionNames().join(u' '));
    SettingsConfiguration stored(folder_.filePath(QStringLiteral("Corvane.ini")));
    stored.settingsFile.LoadConfiguration();
    if (stored.dm.Connection.RecordCount() != int(connections_.size()))
        ended.append(QStringLiteral("the settings file holds %1 connections")
                         .arg(stored.dm.Connection.RecordCount()));
    if (!ended.isEmpty()) {
        Fail(step, ended);
        return false;
    }
    Report(step, elapsed.elapsed());
    return true;
}

void SoakRun::Step() {
    ChangeFaults();
    if (Chance(0.3))
        connections_[size_t(Below(int(connections_.size())))]->NextGeneration();
    OperatorActs();
    MoveTime();
    if (Chance(0.1)) {
        // Somewhere inside the cycles that just woke.
        EngineFixture::WaitUntil([] { return false; }, Below(40));
        if (const int index = RandomRunning(); index >= 0) {
            Stop(index);
            Count(SoakAction::OperatorStopDuringCycle);
        }
    }
    if (Chance(0.05)) {
        TickWatchdog();
        Count(SoakAction::WatchdogTick);
    }
}

void SoakRun::ChangeFaults() {
    for (qsizetype index = faults_.size() - 1; index >= 0; --index)
        if (Chance(0.25))
            faults_.removeAt(index);
    if (!Chance(0.3)) {
        ApplyFaults();
        return;
    }
    const int index = Below(int(connections_.size()));
    const bool oneC = connections_[size_t(index)]->OneC();
    static const SoakAction sqlKinds[] = {SoakAction::SourceAway, SoakAction::SourceFailsMidway,
                                          SoakAction::ReceiverAway,
                                          SoakAction::ReceiverRefusesMidway};
    static const SoakAction oneCKinds[] = {
        SoakAction::InfobaseFails, SoakAction::InfobaseDies, SoakAction::InfobaseAnswerGarbled,
        SoakAction::ReceiverAway, SoakAction::ReceiverRefusesMidway};
    const SoakAction kind = oneC ? oneCKinds[Below(5)] : sqlKinds[Below(4)];
    const bool infobase = kind == SoakAction::InfobaseFails || kind == SoakAction::InfobaseDies ||
                          kind == SoakAction::InfobaseAnswerGarbled;
    // The infobase's switches are one registration for every 1C connection: one at a time.
    const auto same = [&](const Fault& fault) {
        const bool otherInfobase = fault.Connection < 0 && infobase;
        return otherInfobase || (fault.Connection == index && fault.Kind == kind);
    };
    if (std::none_of(faults_.begin(), faults_.end(), same)) {
        const QStringList calls = InfobaseCalls();
        faults_.append({kind, infobase ? -1 : index,
                        infobase ? calls.at(Below(int(calls.size()))) : QString()});
        Count(kind);
    }
    ApplyFaults();
}

void SoakRun::ApplyFaults() {
    const auto has = [this](int index, SoakAction kind) {
        return std::any_of(faults_.begin(), faults_.end(), [&](const Fault& fault) {
            return fault.Connection == index && fault.Kind == kind;
        });
    };
    for (int index = 0; index < int(connections_.size()); ++index) {
        SoakConnection& connection = *connections_[size_t(index)];
        const bool sourceAway = has(index, SoakAction::SourceAway);
        const bool receiverAway = has(index, SoakAction::ReceiverAway);
        // Back first, so the switches inside the files can be set.
        if (!sourceAway)
            connection.SetSourceAway(false);
        if (!receiverAway)
            connection.SetReceiverAway(false);
        connection.SetSourceFailsMidway(has(index, SoakAction::SourceFailsMidway));
        connection.SetReceiverRefusesMidway(has(index, SoakAction::ReceiverRefusesMidway));
        connection.SetSourceAway(sourceAway);
        connection.SetReceiverAway(receiverAway);
    }
    QStringList switches;
    for (const Fault& fault : std::as_const(faults_))
        if (fault.Kind == SoakAction::InfobaseFails)
            switches = {QStringLiteral("--fail"), fault.Call + QStringLiteral(":Ошибка базы")};
        else if (fault.Kind == SoakAction::InfobaseDies)
            switches = {QStringLiteral("--exit-during"), fault.Call};
        else if (fault.Kind == SoakAction::InfobaseAnswerGarbled)
            switches = {QStringLiteral("--garble"), fault.Call};
    const QString registration = folder_.filePath(QStringLiteral("Automation.ini"));
    if (switches == switches_ && QFile::exists(registration))
        return;
    switches_ = switches;
    const InfobaseFixture* infobase = nullptr;
    for (const auto& connection : connections_)
        if (connection->Infobase())
            infobase = connection->Infobase();
    infobase->WriteRegistration(switches);
    QFile::remove(registration);
    if (!QFile::copy(infobase->RegistrationFile(), registration))
        qFatal("cannot write the registration file");
}

bool SoakRun::Running(int index) const {
    return service_->Connections().FindRunning(ids_[index]) != nullptr;
}

ConnectionStatus SoakRun::Status(int index) const {
    return ConnectionStatus(
        dm_.Connection.Lookup(Fields::Connection::Id, {ids_[index]}, Fields::Connection::Status)
            .value(0)
            .toInt());
}

int SoakRun::Pick(const std::function<bool(int)>& fits) {
    // One draw whatever the state, so the seed alone fixes every later draw.
    const int first = Below(int(ids_.size()));
    for (int offset = 0; offset < ids_.size(); ++offset)
        if (const int index = (first + offset) % int(ids_.size()); fits(index))
            return index;
    return -1;
}

int SoakRun::RandomRunning() {
    return Pick([this](int index) {
        return Running(index) && Status(index) != ConnectionStatus::Stopping;
    });
}

int SoakRun::RandomIdle() {
    return Pick([this](int index) { return !Running(index); });
}

void SoakRun::OperatorActs() {
    if (Chance(0.15)) {
        if (const int index = RandomIdle(); index >= 0) {
            service_->StartConnection(ids_[index]);
            Count(SoakAction::OperatorStart);
        }
    }
    if (Chance(0.06)) {
        if (const int index = RandomRunning(); index >= 0) {
            Stop(index);
            Count(SoakAction::OperatorStop);
        }
    }
}

void SoakRun::MoveTime() {
    if (clock_->AdvanceToNextWake() < 0) {
        // Everything stopped: the operator starts one again.
        if (const int index = RandomIdle(); index >= 0) {
            service_->StartConnection(ids_[index]);
            Count(SoakAction::OperatorStart);
        }
        return;
    }
    if (!Chance(0.1) || !EngineFixture::WaitUntil([this] { return AllAsleep(); }, 5000) ||
        BetweenCycles())
        return;
    // A cycle is in its pause: past the watchdog's limit at once, and the tick comes while the
    // workers go on.
    clock_->Advance(301000);
    TickWatchdog();
    Count(SoakAction::WatchdogAfterStaleCycle);
}

void SoakRun::TickWatchdog() {
    if (dm_.TaskScheduler.isActive())
        QMetaObject::invokeMethod(&dm_.TaskScheduler, "timeout");
}

bool SoakRun::AllAsleep() const {
    const auto& running = service_->Connections().RunningConnections();
    for (const auto& entry : running)
        if (entry.Worker->Finished() || !entry.Worker->Sleeping)
            return false;
    // Exactly these threads wait on the clock, none of them woken yet: a worker that has just
    // woken is not yet seen as awake by its flag. A stopped worker is among them once it is off
    // the list; one the stop found busy stays on it until it ends.
    const auto listed = [&running](const TWorkThread* worker) {
        return std::any_of(running.begin(), running.end(),
                           [worker](const auto& entry) { return entry.Worker.get() == worker; });
    };
    const auto retiring = std::count_if(stopped_.begin(), stopped_.end(), [&](const auto& worker) {
        const auto alive = worker.lock();
        return alive && !alive->Finished() && !listed(alive.get());
    });
    return clock_->DueSleepers() == 0 &&
           clock_->Sleepers() == int(running.size() + size_t(retiring)) &&
           dm_.TaskScheduler.isActive();
}

void SoakRun::Stop(int index) {
    stopped_.push_back(service_->Connections().FindRunning(ids_[index]));
    std::erase_if(stopped_, [](const auto& worker) { return worker.expired(); });
    service_->StopConnection(ids_[index], false);
}

bool SoakRun::BetweenCycles() const {
    const auto between = [](const TWorkThread& worker) {
        return worker.Finished() || worker.LogCode == EventCode{} ||
               worker.LogCode == EventCode::CycleEnds;
    };
    // One stopped in the pause of its cycle still holds both ends until it wakes.
    for (const auto& stopped : stopped_)
        if (const auto worker = stopped.lock(); worker && !between(*worker))
            return false;
    const auto& running = service_->Connections().RunningConnections();
    return std::all_of(running.begin(), running.end(),
                       [&](const auto& entry) { return between(*entry.Worker); });
}

QStringList SoakRun::Settle() {
    QElapsedTimer waited;
    waited.start();
    while (EngineFixture::WaitUntil([this] { return AllAsleep(); },
                                    int(std::max<qint64>(0, kSettleMs - waited.elapsed())))) {
        if (const QStringList stuck = StoppedButWaiting(); !stuck.isEmpty())
            return stuck;
        if (BetweenCycles())
            return {};
        // A worker waits inside its cycle (the pause before the infobase is read).
        clock_->AdvanceToNextWake();
    }
    return {QStringLiteral("the workers did not settle into their waits")};
}

QStringList SoakRun::StoppedButWaiting() const {
    QStringList stuck;
    for (int index = 0; index < ids_.size(); ++index)
        if (Running(index) && Status(index) == ConnectionStatus::Stopping)
            stuck.append(QStringLiteral("%1 was stopped while busy and waits on the clock "
                                        "instead of ending at its next check")
                             .arg(connections_[size_t(index)]->Name()));
    return stuck;
}

QStringList SoakRun::Broken(int step) {
    QStringList broken = Leaks(step);
    ReadLog();
    QSet<QString> keys;
    for (const auto& entry : service_->Connections().RunningConnections()) {
        if (keys.contains(entry.Key))
            broken.append(
                QStringLiteral("connection %1 is twice in RunningConnections").arg(entry.Key));
        keys.insert(entry.Key);
        if (entry.Worker->Finished())
            broken.append(
                QStringLiteral("RunningConnections holds the ended worker of %1").arg(entry.Key));
        if (!ids_.contains(entry.Key.toInt()))
            broken.append(QStringLiteral("RunningConnections holds unknown %1").arg(entry.Key));
    }
    for (int index = 0; index < ids_.size(); ++index) {
        broken += StatusAgainstEvents(index);
        if (!connections_[size_t(index)]->ReceiverAway()) {
            const QString mix = connections_[size_t(index)]->ReceiverMix();
            if (!mix.isEmpty())
                broken.append(mix);
        }
    }
    broken += Registrations();
    return broken;
}

void SoakRun::ReadLog() {
    QFile file(folder_.filePath(QStringLiteral("Log/Logs.txt")));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(logOffset_))
        return;
    const QByteArray added = file.readAll();
    const qsizetype whole = added.lastIndexOf("\r\n");
    if (whole < 0)
        return;
    logOffset_ += whole + 2;
    const QStringList lines = QString::fromUtf8(added.left(whole)).split(QStringLiteral("\r\n"));
    for (const QString& line : lines) {
        const std::optional<EventCode> code = MainEventOf(line);
        if (!code)
            continue;
        for (int index = 0; index < ids_.size(); ++index) {
            if (!line.contains(u'"' + connections_[size_t(index)]->Name() + u'"'))
                continue;
            LogState& state = log_[index];
            if (code == EventCode::Started)
                state.SinceStart.clear();
            state.SinceStart.append(*code);
            state.Updated += code == EventCode::Updated;
            state.Failed += code == EventCode::UpdateFailed;
        }
    }
}

QStringList SoakRun::StatusAgainstEvents(int index) const {
    const QString name = connections_[size_t(index)]->Name();
    const ConnectionStatus status = Status(index);
    const bool running = Running(index);
    const QList<EventCode> events = log_.value(index).SinceStart;
    const EventCode last = events.isEmpty() ? EventCode{} : events.last();
    bool agrees = false;
    switch (status) {
    case ConnectionStatus::NotUpdating: {
        // A cycle cut short by the stop may still log its failure, never an update.
        const qsizetype stop = events.lastIndexOf(EventCode::Stopped);
        agrees = !running && stop >= 0 && !events.mid(stop).contains(EventCode::Updated);
        break;
    }
    case ConnectionStatus::Updating:
        agrees = running && last == EventCode::Updated;
        break;
    case ConnectionStatus::UpdateError:
        agrees = !running && last == EventCode::UpdateFailed;
        break;
    case ConnectionStatus::ConnectError:
        agrees = running && last == EventCode::UpdateFailed;
        break;
    case ConnectionStatus::WaitingForPeriod:
        agrees = running && last == EventCode::WaitsForPeriod;
        break;
    default:
        break;
    }
    if (agrees)
        return {};
    QStringList codes;
    for (EventCode code : events)
        codes.append(QString::number(int(code)));
    return {QStringLiteral("%1: status %2, %3, events since its start: %4")
                .arg(name)
                .arg(status)
                .arg(running ? QStringLiteral("running") : QStringLiteral("not running"),
                     codes.join(u' '))};
}

QStringList SoakRun::Registrations() {
    QStringList broken;
    const RecordSet& vremTable = dm_.VremTable;
    const int idTable = vremTable.FieldIndex(Fields::VremTable::IdTable);
    const int nameTable = vremTable.FieldIndex(Fields::VremTable::NameTable);
    const int start = vremTable.FieldIndex(Fields::VremTable::StartUpdateTime);
    QSet<QString> present;
    QHash<int, int> perConnection;
    for (int row = 0; row < vremTable.RecordCount(); ++row) {
        if (vremTable.ValueAt(row, nameTable)
                .toString()
                .compare(QStringLiteral("Connection"), Qt::CaseInsensitive) != 0)
            continue;
        const int id = vremTable.ValueAt(row, idTable).toInt();
        const QString key =
            QStringLiteral("%1 %2").arg(id).arg(vremTable.ValueAt(row, start).toString());
        present.insert(key);
        ++perConnection[id];
        const int index = int(ids_.indexOf(id));
        if (index >= 0 && Status(index) == ConnectionStatus::UpdateError && !Running(index))
            leftByUpdateError_.insert(key);
        if (!leftByUpdateError_.contains(key))
            broken.append(QStringLiteral("registration %1 outlives its cycle").arg(key));
    }
    for (auto count = perConnection.begin(); count != perConnection.end(); ++count)
        if (count.value() > 1)
            broken.append(QStringLiteral("connection %1 has %2 registrations")
                              .arg(count.key())
                              .arg(count.value()));
    leftByUpdateError_.intersect(present);
    return broken;
}

QStringList SoakRun::Leaks(int step) {
    QStringList broken;
    QStringList databases = QSqlDatabase::connectionNames();
    const qsizetype probes = databases.removeIf(
        [](const QString& name) { return name.startsWith(SoakConnection::ProbePrefix()); });
    // Each look into a receiver holds a socket of its own, and only while the file is there.
    const auto leakable = [probes] { return int(Leakable().size() - probes); };
    if (!databases.isEmpty())
        broken.append(QStringLiteral("database connections left open: ") + databases.join(u' '));
    if (!EngineFixture::WaitUntil([] { return ProcessResources::Children() == 0; }, 3000))
        broken.append(QStringLiteral("%1 child processes left").arg(ProcessResources::Children()));
    // Workers stopped in their wait end when it is over; until then they are sleepers.
    const auto threads = [this] { return ProcessResources::Threads() - clock_->Sleepers(); };
    if (step < kWarmUpSteps) {
        fileBound_ = std::max(fileBound_, leakable());
        threadBound_ = std::max(threadBound_, threads());
        return broken;
    }
    if (!EngineFixture::WaitUntil([&] { return leakable() <= fileBound_; }, 3000))
        broken.append(QStringLiteral("%1 connections, pipes and database files open besides the "
                                     "soak's own, %2 after the warm-up: %3")
                          .arg(leakable())
                          .arg(fileBound_)
                          .arg(Described(Leakable()).join(u' ')));
    if (!EngineFixture::WaitUntil([&] { return threads() <= threadBound_; }, 3000))
        broken.append(
            QStringLiteral("%1 threads besides the sleeping workers, %2 after the warm-up")
                .arg(threads())
                .arg(threadBound_));
    return broken;
}

void SoakRun::Fail(int step, const QStringList& broken) const {
    std::printf("soak FAILED: seed %u, step %d, after %d cycles\n", seed_, step, Passes());
    for (const QString& line : broken)
        std::printf("  %s\n", qPrintable(line));
    std::printf("rerun: SoakTest --seed %u --cycles %d\n", seed_, cycles_);
    std::fflush(stdout);
}

int SoakRun::Passes() const {
    int passes = 0;
    for (const LogState& state : log_)
        passes += state.Updated + state.Failed;
    return passes;
}

void SoakRun::Report(int steps, qint64 elapsedMs) const {
    int updated = 0;
    for (const LogState& state : log_)
        updated += state.Updated;
    std::printf("soak passed: seed %u, %d cycles (%d updated, %d failed) in %d steps, %.1f s, "
                "virtual time %s to %s\n",
                seed_, Passes(), updated, Passes() - updated, steps, double(elapsedMs) / 1000,
                qPrintable(kStart.toString(Qt::ISODate)),
                qPrintable(clock_->Now().toString(Qt::ISODate)));
    for (size_t action = 0; action < counts_.size(); ++action)
        std::printf("  %-30s %d\n", ActionName(SoakAction(action)), counts_[action]);
    std::fflush(stdout);
}
