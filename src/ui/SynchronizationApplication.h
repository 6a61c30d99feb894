#pragma once

#include <QApplication>

class Prompts;

// The application object. An error that leaves an event handler is shown to the operator in
// an error box and the program goes on, as the framework's default handling of a failure.
class SynchronizationApplication : public QApplication {
    Q_OBJECT
public:
    SynchronizationApplication(int& argc, char** argv);

    // Where the error boxes go; until it is set, errors are written to standard error.
    void SetPrompts(Prompts* prompts) { prompts_ = prompts; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void ShowError(const QString& message);

    Prompts* prompts_ = nullptr;
};
