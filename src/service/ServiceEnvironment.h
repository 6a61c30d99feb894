#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class Clock;
class MainThreadHandOver;
class Prompts;
class WindowLink;

// What the program gives the service: where it lives, its command line, and the narrow
// interfaces to the clock, the main thread, the operator and the window.
struct ServiceEnvironment {
    QString ProgramFolder;
    QStringList Arguments; // after the program path
    std::shared_ptr<Clock> TimeSource;
    std::shared_ptr<MainThreadHandOver> HandOver;
    Prompts* OperatorPrompts = nullptr; // required
    WindowLink* Window = nullptr;       // required
};
