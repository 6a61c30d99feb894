#pragma once

#include "platform/Prompts.h"

#include <QPointer>

#include <memory>

class QMessageBox;
class QWidget;

// The operator's messages as modal message boxes.
class WidgetPrompts : public Prompts {
public:
    explicit WidgetPrompts(QWidget* parent = nullptr);

    DialogButton MessageDlg(const QString& text, DialogKind kind,
                            const DialogButtons& buttons) override;
    DialogButton SystemMessageBox(const QString& text, const DialogButtons& buttons) override;

    // The boxes the two calls show, built but not shown. Each button carries its DialogButton
    // as the property "dialogButton".
    static std::unique_ptr<QMessageBox> BuildMessageDlg(const QString& text, DialogKind kind,
                                                        const DialogButtons& buttons,
                                                        QWidget* parent = nullptr);
    static std::unique_ptr<QMessageBox> BuildSystemMessageBox(const QString& text,
                                                              const DialogButtons& buttons,
                                                              QWidget* parent = nullptr);
    // The answer a shown box was closed with: its clicked button, else its escape button.
    static DialogButton AnswerOf(const QMessageBox& box);

private:
    QPointer<QWidget> parent_;
};
