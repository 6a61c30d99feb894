#pragma once

#include <QList>
#include <QString>

// The kinds of the toolkit's message dialog; their titles are "Warning", "Information",
// "Confirm" and "Error".
enum class DialogKind { Warning, Information, Confirmation, Error };
// The standard title of a dialog of this kind.
QString DialogTitle(DialogKind kind);
enum class DialogButton { Yes, No, Ok, Cancel };
using DialogButtons = QList<DialogButton>;

// Every message to the operator goes through here: a window shows a box, a test scripts the
// answers, a service without a window writes the text down and takes the default answer.
class Prompts {
public:
    virtual ~Prompts() = default;

    // The toolkit's message dialog of the given kind.
    virtual DialogButton MessageDlg(const QString& text, DialogKind kind,
                                    const DialogButtons& buttons) = 0;
    // The program's own questions: the system box with the caption "Сервис синхронизаций".
    virtual DialogButton SystemMessageBox(const QString& text, const DialogButtons& buttons) = 0;
};
