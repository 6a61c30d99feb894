#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A TCP port on 127.0.0.1 that takes connections and never answers, as a host that hangs
// does: a client waits on it until Release (or the hold runs out) resets every connection.
class SilentServer {
public:
    explicit SilentServer(std::chrono::milliseconds holdAtMost);
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    quint16 Port() const { return port_; }
    // A Firebird receiver on this port: its client waits for an answer that never comes.
    QString FirebirdConnectionString() const;
    // Closes the port: the connections it holds are reset, so their clients fail at once.
    void Release();

private:
    std::mutex lock_;
    std::condition_variable released_;
    bool releasing_ = false;
    int socket_ = -1;
    quint16 port_ = 0;
    // Ends the hold also when the thread that would release is itself the one waiting.
    std::thread keeper_;
};
