#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running program per user. The running instance holds a lock file for its whole life
// and listens on a local socket "Syn_Serv"; a later start finds the lock taken, asks the
// running instance through the socket to show its window and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock file and the socket live, private to the user.
    explicit SingleInstance(const QString& folder = DefaultFolder());
    ~SingleInstance() override;

    // The user's runtime folder.
    static QString DefaultFolder();

    // Takes the lock; false while another instance holds it. A lock left behind by an
    // instance that no longer runs is taken over. Needs no application object.
    bool TryLock();
    // Asks the running instance to show itself and waits for its answer; false when no
    // instance answered in time. Needs no application object.
    bool AskRunningToShow(int timeoutMs = 3000);
    // Starts listening for later starts; each request emits ShowRequested. Needs the lock
    // and the application object; a socket left behind by a crashed instance is replaced.
    bool Listen();

    QString LockPath() const;
    QString ServerPath() const;

Q_SIGNALS:
    void ShowRequested();

private:
    void AnswerRequest();

    QString folder_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};
