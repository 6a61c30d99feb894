#include "ScriptedPrompts.h"

void ScriptedPrompts::Answer(DialogButton answer) {
    answers_.append(answer);
}

QStringList ScriptedPrompts::Texts() const {
    QStringList texts;
    for (const Shown& shown : shown_)
        texts.append(shown.Text);
    return texts;
}

void ScriptedPrompts::Clear() {
    answers_.clear();
    shown_.clear();
}

DialogButton ScriptedPrompts::MessageDlg(const QString& text, DialogKind kind,
                                         const DialogButtons& buttons) {
    return Record({text, false, kind, buttons});
}

DialogButton ScriptedPrompts::SystemMessageBox(const QString& text, const DialogButtons& buttons) {
    return Record({text, true, DialogKind::Confirmation, buttons});
}

DialogButton ScriptedPrompts::Record(Shown shown) {
    if (!answers_.isEmpty())
        shown.Answer = answers_.takeFirst();
    else if (!shown.Buttons.isEmpty())
        shown.Answer = shown.Buttons.first();
    shown_.append(shown);
    return shown.Answer;
}
