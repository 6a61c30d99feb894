#include "support/SilentServer.h"

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

SilentServer::SilentServer(std::chrono::milliseconds holdAtMost) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    // Connections complete in the backlog without accept: nobody ever reads or writes them.
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(socket_, 16) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        qFatal("no silent port");
    port_ = ntohs(address.sin_port);
    keeper_ = std::thread([this, holdAtMost] {
        std::unique_lock<std::mutex> guard(lock_);
        released_.wait_for(guard, holdAtMost, [this] { return releasing_; });
        ::close(socket_);
        socket_ = -1;
    });
}

SilentServer::~SilentServer() {
    Release();
    keeper_.join();
}

void SilentServer::Release() {
    const std::lock_guard<std::mutex> guard(lock_);
    releasing_ = true;
    released_.notify_all();
}

QString SilentServer::FirebirdConnectionString() const {
    return QStringLiteral("Driver=Firebird/InterBase(r) driver;Dbname=127.0.0.1/%1:/srv/r.fdb;"
                          "Uid=SYSDBA;Pwd=masterkey")
        .arg(port_);
}
