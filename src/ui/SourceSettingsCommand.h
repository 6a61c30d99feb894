#pragma once

#include "ui/SettingsDialog.h"

#include <QString>
#include <QStringList>

class Prompts;
class QWidget;
class RecordSet;

// The source settings button of the main window: edits the current source row's settings of
// its kind, the query of an SQL source (type 1) in TfrmAdSetSourceSql, the user parameter of a
// 1C source in TfrmAdSetSource1C. A source keeps only the settings of its own kind.
class SourceSettingsCommand {
public:
    SourceSettingsCommand(QWidget* owner, RecordSet& source, Prompts& prompts,
                          DialogRunner runDialog = &SettingsDialog::ShowModal);

    // typeText and typeKey are the text and the key of the type box.
    void Execute(bool sourceLocked, const QString& typeText, int typeKey);

    // Sets the named fields ("A;B") of the current row to the values, pairwise, in one edit
    // that is posted unless the row was already being edited or inserted.
    void AssignSourceFields(const QString& fieldNames, const QStringList& values);

    static const QString kFieldNames;

private:
    void EditSqlSettings(bool sourceLocked);
    void Edit1CSettings(bool sourceLocked);
    QString Value(const QString& fieldName) const;

    QWidget* owner_;
    RecordSet& source_;
    Prompts& prompts_;
    DialogRunner runDialog_;
};
