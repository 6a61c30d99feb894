#include "ui/widgets/FieldTextValidator.h"

FieldTextValidator::FieldTextValidator(QObject* parent)
    : QValidator(parent) {}

void FieldTextValidator::SetField(const FieldDef& def) {
    const bool text = def.Type == FieldType::Text;
    name_ = def.Name;
    size_ = text ? def.Size : 0;
    singleLine_ = text && def.SingleLine;
}

void FieldTextValidator::ClearField() {
    name_.clear();
    size_ = 0;
    singleLine_ = false;
}

QString FieldTextValidator::RefusalOf(const QString& input) const {
    if (singleLine_ && BreaksLine(input)) {
        // The table's own wording for the same refusal.
        return QStringLiteral("Поле \"%1\" не может содержать символ \"`\" и перевод строки.")
            .arg(name_);
    }
    if (size_ > 0 && input.size() > size_) {
        return QStringLiteral("Поле \"%1\" не может быть длиннее %2 символов.")
            .arg(name_)
            .arg(size_);
    }
    return {};
}

bool FieldTextValidator::BreaksLine(const QString& text) {
    return text.contains(u'`') || text.contains(u'\r') || text.contains(u'\n');
}

QValidator::State FieldTextValidator::validate(QString& input, int& /*pos*/) const {
    const QString refusal = RefusalOf(input);
    if (refusal.isEmpty())
        return Acceptable;
    Q_EMIT Refused(refusal);
    return Invalid;
}
