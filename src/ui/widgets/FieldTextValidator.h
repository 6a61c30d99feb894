#pragma once

#include "core/RecordSet.h"

#include <QValidator>

// Refuses what a text field would not keep as typed: text longer than the field's width, and
// a backquote or line break in a single-line field. Each refusal is reported with its reason.
class FieldTextValidator : public QValidator {
    Q_OBJECT
public:
    explicit FieldTextValidator(QObject* parent = nullptr);

    // The field whose limits apply; no limits for a field that is not text.
    void SetField(const FieldDef& def);
    void ClearField();

    State validate(QString& input, int& pos) const override;

    // The message for a refused input, empty when the input is acceptable.
    QString RefusalOf(const QString& input) const;
    // A backquote or a line break: what a single-line field cannot keep.
    static bool BreaksLine(const QString& text);

Q_SIGNALS:
    void Refused(const QString& message) const;

private:
    QString name_;
    int size_ = 0;
    bool singleLine_ = false;
};
