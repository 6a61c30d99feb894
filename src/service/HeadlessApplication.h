#pragma once

#include <QCoreApplication>

class Prompts;

// The event loop of the service without a window. An error that leaves an event handler goes
// to the operator's prompts, as the window's error box would show it, and the program goes on.
class HeadlessApplication final : public QCoreApplication {
    Q_OBJECT
public:
    HeadlessApplication(int& argc, char** argv);

    void SetPrompts(Prompts* prompts) { prompts_ = prompts; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    Prompts* prompts_ = nullptr;
};
