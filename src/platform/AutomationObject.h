#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <mutex>
#include <optional>
#include <stop_token>

#include <sys/types.h>

// The ProgID of a 1C connection type (2 to 6); empty for any other type.
QString ProgIdForType(int type);

// A late-bound 1C automation server object. Each object is its own server process, found by
// ProgID in the registration file (AutomationRegistry) and spoken to line by line
// (AutomationProtocol). Create, use and drop it on one thread; it needs no event loop.
//
// Failures: a ProgID without registration, a program that cannot start, a server that dies,
// closes its output or answers outside the protocol, a failure the server reports outside its
// object, and a stop request on abort throw EOleSysError; an error the server's object raises
// throws EOleException with its message. Calls
// wait as long as the server takes, unless abort is requested: then the server is killed.
// Dropping the object ends the server process.
class AutomationObject {
public:
    AutomationObject(const QString& progId, const QString& registrationFile,
                     std::stop_token abort = {});
    ~AutomationObject();

    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;

    QVariant RMTrade();
    // A Boolean comes back as a 16-bit integer: -1 True, 0 False.
    QVariant Initialize(const QVariant& rmTrade, const QString& commandLine, const QString& splash);
    QVariant EvalExpr(const QString& expression);
    // Any method or property get of the server's object by name.
    QVariant Call(const QString& name, const QVariantList& arguments);

    // Ends the server process, so that the call in progress fails as with a server that died.
    // From any thread while the object exists.
    void Cancel();

    // The server's process id; 0 once the server is gone.
    pid_t ProcessId() const { return pid_; }

private:
    // Runs on the thread that requests the stop: killing the server ends a blocked read
    // or write at once.
    struct KillOnStop {
        AutomationObject* object;
        void operator()() const noexcept;
    };

    void Send(const QByteArray& request, const QString& method);
    QByteArray ReceiveLine(const QString& method);
    // The server is gone: ended by itself, with its exit code or signal when it has ended,
    // or killed for a stop request.
    QString LostMessage(const QString& method);
    // The wait status of a server that has ended (given a moment to); it is then reaped.
    std::optional<int> ReapEnded();
    // Kills the server: after a failed call its state is unknown.
    [[noreturn]] void Fail(const QString& message);
    void Kill();
    void CloseChannels();

    QString progId_;
    std::stop_token abort_;
    // Guards pid_ against KillOnStop: a pid is only signalled while it is not yet reaped.
    std::mutex processMutex_;
    pid_t pid_ = 0;
    int requestFd_ = -1;
    int answerFd_ = -1;
    QByteArray received_;
    std::optional<std::stop_callback<KillOnStop>> stopCallback_;
};
