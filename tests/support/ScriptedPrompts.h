#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QString>
#include <QStringList>

// Prompts for tests: records every message shown and answers with the scripted answers in
// order; once they are used up, with the first button offered. Main thread only.
class ScriptedPrompts final : public Prompts {
public:
    struct Shown {
        QString Text;
        bool SystemBox = false;                    // SystemMessageBox rather than MessageDlg
        DialogKind Kind = DialogKind::Information; // MessageDlg only
        DialogButtons Buttons;
        DialogButton Answer = DialogButton::Ok;
    };

    // Queues the answer to the next message not yet answered by the script.
    void Answer(DialogButton answer);

    const QList<Shown>& Messages() const { return shown_; }
    QStringList Texts() const;
    void Clear();

    DialogButton MessageDlg(const QString& text, DialogKind kind,
                            const DialogButtons& buttons) override;
    DialogButton SystemMessageBox(const QString& text, const DialogButtons& buttons) override;

private:
    DialogButton Record(Shown shown);

    QList<DialogButton> answers_;
    QList<Shown> shown_;
};
