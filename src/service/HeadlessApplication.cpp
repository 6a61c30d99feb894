#include "service/HeadlessApplication.h"

#include "platform/Prompts.h"

#include <exception>

HeadlessApplication::HeadlessApplication(int& argc, char** argv)
    : QCoreApplication(argc, argv) {}

bool HeadlessApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QCoreApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        // Exception::what() is its message in UTF-8.
        if (prompts_)
            prompts_->MessageDlg(QString::fromUtf8(error.what()), DialogKind::Error,
                                 {DialogButton::Ok});
    }
    return false;
}
