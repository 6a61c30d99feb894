#include "ui/ReceiverSettingsCommand.h"

#include "core/RecordSet.h"
#include "core/TableFields.h"
#include "service/TSynchronization_Service.h"
#include "ui/TfrmAdSetReceiver.h"

#include <memory>

ReceiverSettingsCommand::ReceiverSettingsCommand(QWidget* owner, RecordSet& receiver,
                                                 const TSynchronization_Service& service,
                                                 Prompts& prompts, DialogRunner runDialog)
    : owner_(owner)
    , receiver_(receiver)
    , service_(service)
    , prompts_(prompts)
    , runDialog_(std::move(runDialog)) {}

void ReceiverSettingsCommand::Execute(bool receiverLocked, const QString& typeText,
                                      const QString& connectionStringText) {
    if (!SettingsDialog::ConnectionTypeChosen(typeText, prompts_))
        return;
    const auto dialog = std::make_unique<TfrmAdSetReceiver>(owner_, prompts_);
    dialog->SetKeyField(receiver_.FieldByName(Fields::Receiver::Key_Field).AsString());
    dialog->SetTableName(receiver_.FieldByName(Fields::Receiver::Name_Table).AsString());
    dialog->SetValueField(receiver_.FieldByName(Fields::Receiver::Name_Updated_Field).AsString());
    const int id = receiver_.FieldByName(Fields::Receiver::Id).AsInteger();
    dialog->SetConnectionString(service_
                                    .UnmaskConnectionString(id, QStringLiteral("Receiver"),
                                                            QLatin1Char(';'), connectionStringText)
                                    .trimmed());
    if (receiverLocked)
        dialog->LockEditing();
    if (runDialog_(*dialog) != QDialog::Accepted)
        return;
    const bool post = !receiver_.IsEditing();
    if (post)
        receiver_.Edit();
    receiver_.FieldByName(Fields::Receiver::Key_Field).SetAsString(dialog->KeyField());
    receiver_.FieldByName(Fields::Receiver::Name_Table).SetAsString(dialog->TableName());
    receiver_.FieldByName(Fields::Receiver::Name_Updated_Field).SetAsString(dialog->ValueField());
    if (post)
        receiver_.Post();
}
