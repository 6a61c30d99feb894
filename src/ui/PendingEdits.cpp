#include "ui/PendingEdits.h"

#include "core/RecordSet.h"
#include "platform/Prompts.h"

PendingEdits::PendingEdits(Prompts& prompts, ConnectionChecks connectionChecks)
    : prompts_(prompts)
    , connectionChecks_(std::move(connectionChecks)) {}

bool PendingEdits::ConfirmPendingEdit(RecordSet& table) {
    if (!table.IsEditing())
        return true;
    const DialogButton answer =
        prompts_.SystemMessageBox(QStringLiteral("Вы подтверждаете сохранение измененных данных?"),
                                  {DialogButton::Yes, DialogButton::No, DialogButton::Cancel});
    switch (answer) {
    case DialogButton::Yes:
        if (table.Name() == QStringLiteral("Connection") && !connectionChecks_())
            return false;
        table.Post();
        return true;
    case DialogButton::No:
        table.Cancel();
        return true;
    default:
        return false;
    }
}

void PendingEdits::CancelPendingEdit(RecordSet& table, bool& mayClose) {
    if (table.IsEditing()) {
        table.Cancel();
        mayClose = false;
    }
}
