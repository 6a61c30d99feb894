#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// SIGTERM and SIGINT turned into a signal on the main thread, so the program can end in its
// orderly way (connections stopped, configuration saved). The handler only writes a byte to a
// socket; the event loop reads it. The Firebird client's own shutdown on these signals is
// refused, so the orderly end is the only one. One instance per process.
class EndSignals : public QObject {
    Q_OBJECT
public:
    explicit EndSignals(QObject* parent = nullptr);
    // The default handlers come back: a second signal while the program ends ends it at once.
    ~EndSignals() override;

    // False when the handlers could not be installed (errno tells why).
    bool Installed() const { return notifier_ != nullptr; }
    // Gives the signals their default action again.
    static void Release();

Q_SIGNALS:
    void EndRequested();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
