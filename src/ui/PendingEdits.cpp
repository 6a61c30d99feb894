#include "ui/PendingEdits.h"

#include "core/RecordSet.h"
#include "platform/Prompts.h"

PendingEdits::PendingEdits(Prompts& prompts, ConnectionChecks connectionChecks)
    : prompts_(prompts)
    , connectionChecks_(std::move(connectionChecks)) {}

void PendingEdits::ConfirmPendingEdit(RecordSet& table, bool& allowChange) {
    allowChange = true;
    if (!table.IsEditing())
        return;
    const DialogButton answer =
        prompts_.SystemMessageBox(QStringLiteral("Вы подтверждаете сохранение измененных данных?"),
                                  {DialogButton::Yes, DialogButton::No, DialogButton::Cancel});
    switch (answer) {
    case DialogButton::Yes:
        if (table.Name() == QStringLiteral("Connection") && !connectionChecks_()) {
            allowChange = false;
            return;
        }
        table.Post();
        return;
    case DialogButton::No:
        table.Cancel();
        return;
    default:
        allowChange = false;
        return;
    }
}

void PendingEdits::CancelPendingEdit(RecordSet& table, bool& mayClose) {
    if (table.IsEditing()) {
        table.Cancel();
        mayClose = false;
    }
}
