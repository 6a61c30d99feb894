#pragma once

#include <QString>

#include <functional>
#include <memory>

class Clock;
class EventSink;
class MainThreadHandOver;
class PasswordKeeper;
class Prompts;
class TDm;
class TableEventStore;
class WindowLink;

// What the engine is given by the service. The references are used on the main thread only;
// what a worker thread itself touches is shared, so a worker that outlives the service is safe.
struct EngineEnvironment {
    TDm& Dm;
    TableEventStore& TableEvents;
    const PasswordKeeper& Passwords;
    EventSink& Events;
    Prompts& OperatorPrompts;
    WindowLink& Window;
    std::shared_ptr<Clock> TimeSource;
    std::shared_ptr<MainThreadHandOver> HandOver;
    // The program folder + "Automation.ini": where automation servers are found by ProgID.
    QString AutomationRegistrationFile;
    // The NumberAttempts setting, read when a connection starts.
    std::function<int()> NumberAttempts;
};
