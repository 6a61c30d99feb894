#include "ui/SourceSettingsCommand.h"

#include "core/RecordSet.h"
#include "core/TableFields.h"
#include "ui/TfrmAdSetSource1C.h"
#include "ui/TfrmAdSetSourceSql.h"

#include <memory>

const QString SourceSettingsCommand::kFieldNames =
    QStringLiteral("SQL_Query;Name_Docking_Field;Name_Updated_Field;CustomParameter");

SourceSettingsCommand::SourceSettingsCommand(QWidget* owner, RecordSet& source, Prompts& prompts,
                                             DialogRunner runDialog)
    : owner_(owner)
    , source_(source)
    , prompts_(prompts)
    , runDialog_(std::move(runDialog)) {}

void SourceSettingsCommand::Execute(bool sourceLocked, const QString& typeText, int typeKey) {
    if (!SettingsDialog::ConnectionTypeChosen(typeText, prompts_))
        return;
    if (typeKey == 1)
        EditSqlSettings(sourceLocked);
    else
        Edit1CSettings(sourceLocked);
}

void SourceSettingsCommand::AssignSourceFields(const QString& fieldNames,
                                               const QStringList& values) {
    const bool post = !source_.IsEditing();
    if (post)
        source_.Edit();
    const QStringList names = fieldNames.split(QLatin1Char(';'));
    for (qsizetype i = 0; i < names.size(); ++i)
        source_.FieldByName(names[i]).SetAsString(values.value(i));
    if (post)
        source_.Post();
}

void SourceSettingsCommand::EditSqlSettings(bool sourceLocked) {
    const auto dialog = std::make_unique<TfrmAdSetSourceSql>(owner_, prompts_);
    dialog->SetSqlQuery(Value(Fields::Source::SQL_Query));
    dialog->SetDockingField(Value(Fields::Source::Name_Docking_Field));
    dialog->SetUpdatedField(Value(Fields::Source::Name_Updated_Field));
    if (sourceLocked)
        dialog->LockEditing();
    if (runDialog_(*dialog) == QDialog::Accepted)
        AssignSourceFields(kFieldNames, {dialog->SqlQuery(), dialog->DockingField(),
                                         dialog->UpdatedField(), QString()});
}

void SourceSettingsCommand::Edit1CSettings(bool sourceLocked) {
    const auto dialog = std::make_unique<TfrmAdSetSource1C>(owner_, prompts_);
    dialog->SetCustomParameter(Value(Fields::Source::CustomParameter));
    if (sourceLocked)
        dialog->LockEditing();
    if (runDialog_(*dialog) == QDialog::Accepted)
        AssignSourceFields(kFieldNames,
                           {QString(), QString(), QString(), dialog->CustomParameter()});
}

QString SourceSettingsCommand::Value(const QString& fieldName) const {
    return source_.FieldByName(fieldName).AsString();
}
