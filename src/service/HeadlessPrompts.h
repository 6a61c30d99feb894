#pragma once

#include "platform/Prompts.h"

#include <QString>
#include <QStringList>

#include <cstdio>

class Clock;

// The operator's boxes when no one is there to answer them: each text goes to the event log
// (Log/Logs.txt, time stamp, two blanks, the title and the text) and to standard error, and
// the box takes the answer that keeps the work going: No to a question, otherwise its button.
class HeadlessPrompts final : public Prompts {
public:
    HeadlessPrompts(QString programFolder, const Clock& clock, std::FILE* errorStream = stderr);

    DialogButton MessageDlg(const QString& text, DialogKind kind,
                            const DialogButtons& buttons) override;
    DialogButton SystemMessageBox(const QString& text, const DialogButtons& buttons) override;

    // No when the box offers it (a question whose Yes would stop or lose work), then Cancel,
    // otherwise its first button.
    static DialogButton DefaultAnswer(const DialogButtons& buttons);
    QString LogPath() const;

private:
    // priority: the journal's, for standard error.
    DialogButton Report(int priority, const QString& title, const QString& text,
                        const DialogButtons& buttons);
    void AppendToLog(const QString& title, const QStringList& lines) const;

    QString programFolder_;
    const Clock& clock_;
    std::FILE* errorStream_;
};
