#pragma once

#include "platform/Errors.h"
#include "platform/Prompts.h"

#include <QString>

#include <cstdio>
#include <exception>

class QEvent;
class QObject;

// An application object (QCoreApplication or QApplication) under which an error that leaves
// an event handler goes to the operator's prompts, as the framework's error box, and the
// program goes on. Exceptions must not travel through Qt's event loop; this is where they stop.
template <class Application> class ErrorShowingApplication : public Application {
public:
    ErrorShowingApplication(int& argc, char** argv)
        : Application(argc, argv) {}

    // Until the prompts are set, errors are written to standard error.
    void SetPrompts(Prompts* prompts) { prompts_ = prompts; }

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return Application::notify(receiver, event);
        } catch (const Exception& error) {
            ShowError(error.Message());
        } catch (const std::exception& error) {
            ShowError(QString::fromUtf8(error.what()));
        }
        return false;
    }

private:
    void ShowError(const QString& message) {
        if (prompts_)
            prompts_->MessageDlg(message, DialogKind::Error, {DialogButton::Ok});
        else
            std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    }

    Prompts* prompts_ = nullptr;
};
