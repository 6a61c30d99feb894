#include "CycleDriver.h"

#include "CampaignReport.h"
#include "ReceiverRounds.h"

#include "support/ReceiverProbe.h"

#include "core/ConnectionStatus.h"

#include "engine/TWorkThread.h"
#include "platform/Clock.h"

#include <limits>
#include <stdexcept>

namespace {
// A cycle that takes this long in real time is stuck, which ends the campaign.
constexpr int kCycleTimeoutMs = 180000;
} // namespace

CycleDriver::CycleDriver(const QString& registrationFile)
    : control_(fixture_.Environment(std::numeric_limits<int>::max(), registrationFile)) {}

void CycleDriver::Start(int receiverId, int sourceId) {
    id_ = fixture_.AddConnection(QStringLiteral("Склад"), receiverId, sourceId, 1);
    control_.StartConnection(id_);
}

int CycleDriver::Count(EventCode code) const {
    return int(fixture_.Events.Codes(id_).count(code));
}

void CycleDriver::Wake() {
    if (fixture_.Time->AdvanceToNextWake() < 0)
        throw std::runtime_error("no worker waits to be woken");
}

void CycleDriver::WaitForPause(int opens, int ends) {
    Wait(
        [&] {
            return (Count(EventCode::SourceOpened) > opens && fixture_.Time->Sleepers() >= 1) ||
                   Count(EventCode::CycleEnds) > ends;
        },
        "the source to open");
}

void CycleDriver::WaitForCycleEnd(int ends, const std::function<bool()>& condition) {
    Wait(
        [&] {
            return Count(EventCode::CycleEnds) > ends &&
                   (!WorkerRunning() || fixture_.Time->Sleepers() >= 1) &&
                   (!condition || condition());
        },
        "the cycle to end");
}

bool CycleDriver::CheckAfterKill(CampaignReport& report, const QString& receiver, int items,
                                 int round) {
    const QString holds = ReceiverRounds::Holds(ReceiverProbe::Quantities(receiver), items, round);
    if (!ReceiverRounds::IsRound(holds))
        report.CountFailure(holds);
    else if (Status() == ConnectionStatus::ConnectError)
        report.CountOutcome(holds + QStringLiteral(", connection error"));
    else
        report.CountOutcome(holds);
    if (WorkerRunning())
        return true;
    report.CountFailure(
        QStringLiteral("the worker ended with status %1: %2").arg(Status()).arg(LastError()));
    return false;
}

void CycleDriver::CheckRecovery(CampaignReport& report, const QString& receiver, int items,
                                int round) {
    const QString holds = ReceiverRounds::Holds(ReceiverProbe::Quantities(receiver), items, round);
    if (holds != QLatin1String("new") || Status() != ConnectionStatus::Updating)
        report.CountFailure(QStringLiteral("no recovery: status %1, the receiver holds %2; %3")
                                .arg(Status())
                                .arg(holds, LastError()));
}

bool CycleDriver::WorkerRunning() const {
    return control_.FindRunning(id_) != nullptr;
}

ConnectionStatus CycleDriver::Status() const {
    return fixture_.Status(id_);
}

QString CycleDriver::LastError() const {
    const QList<RecordingEventSink::Event>& events = fixture_.Events.Events();
    for (auto event = events.rbegin(); event != events.rend(); ++event)
        if (event->Id == id_ && event->Code == EventCode::UpdateFailed)
            return event->Text;
    return QString();
}

void CycleDriver::Wait(const std::function<bool()>& condition, const char* what) {
    if (!EngineFixture::WaitUntil(condition, kCycleTimeoutMs))
        throw std::runtime_error(std::string("timed out waiting for ") + what);
}
