#pragma once

#include "ui/SettingsDialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

// Text pasted into an editor of a settings dialog before OK: whether the dialog stayed open
// and what the editor held then.
struct PastedText {
    bool StayedOpen = false;
    QString Kept;

    // Pastes text (a line break only comes in that way), presses OK, then closes the dialog
    // with Cancel and gives that result.
    int ConfirmIn(SettingsDialog& dialog, QLineEdit& editor, const QString& text) {
        editor.clear();
        editor.insert(text);
        dialog.OkButton()->click();
        StayedOpen = dialog.isVisible();
        Kept = editor.text();
        dialog.reject();
        return dialog.result();
    }

    // The message that refuses text no field keeps, for the field of this caption.
    static QStringList Refusal(const QString& caption) {
        return {QStringLiteral("Поле \"%1\" не может содержать символ \"`\" или перевод строки.")
                    .arg(caption)};
    }
};
