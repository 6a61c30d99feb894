#pragma once

#include "ui/SettingsDialog.h"

#include <QString>

class Prompts;
class QWidget;
class RecordSet;
class TSynchronization_Service;

// The receiver settings button of the main window: edits the table, key field and value field
// of the current receiver row in TfrmAdSetReceiver.
class ReceiverSettingsCommand {
public:
    ReceiverSettingsCommand(QWidget* owner, RecordSet& receiver,
                            const TSynchronization_Service& service, Prompts& prompts,
                            DialogRunner runDialog = &SettingsDialog::ShowModal);

    // typeText is the text of the type box; connectionStringText the editor's text, with the
    // password masked.
    void Execute(bool receiverLocked, const QString& typeText, const QString& connectionStringText);

private:
    QWidget* owner_;
    RecordSet& receiver_;
    const TSynchronization_Service& service_;
    Prompts& prompts_;
    DialogRunner runDialog_;
};
