#include "platform/FirebirdConnectCheck.h"

#include <QElapsedTimer>

#include <firebird/Interface.h>

#include <cstring>

namespace {
QString ClientMessage(Firebird::IUtil* util, Firebird::IStatus* status) {
    char buffer[1024] = {};
    util->formatStatus(buffer, sizeof buffer - 1, status);
    return QString::fromUtf8(buffer, qsizetype(strnlen(buffer, sizeof buffer))).trimmed();
}
} // namespace

FirebirdConnectCheck::FirebirdConnectCheck(std::chrono::seconds connectTimeout)
    : connectTimeout_(connectTimeout) {}

bool FirebirdConnectCheck::IsRemote(const QString& databaseName) {
    // A colon at index 1 is a drive letter, not a host.
    return databaseName.indexOf(u':') > 1;
}

QString FirebirdConnectCheck::Failure(const Login& login) const {
    Firebird::IMaster* master = Firebird::fb_get_master_interface();
    Firebird::IUtil* util = master->getUtilInterface();
    Firebird::IStatus* status = master->getStatus();
    Firebird::CheckStatusWrapper wrapper(status);
    // The same login the driver sends, so a refusal here is the one it would meet.
    Firebird::IXpbBuilder* dpb =
        util->getXpbBuilder(&wrapper, Firebird::IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&wrapper, isc_dpb_user_name, login.user.toUtf8().constData());
    dpb->insertString(&wrapper, isc_dpb_password, login.password.toUtf8().constData());
    dpb->insertString(&wrapper, isc_dpb_lc_ctype, login.charset.toUtf8().constData());
    if (!login.role.isEmpty())
        dpb->insertString(&wrapper, isc_dpb_sql_role_name, login.role.toUtf8().constData());
    dpb->insertInt(&wrapper, isc_dpb_connect_timeout, int(connectTimeout_.count()));

    QElapsedTimer connecting;
    connecting.start();
    Firebird::IProvider* provider = master->getDispatcher();
    Firebird::IAttachment* attachment =
        provider->attachDatabase(&wrapper, login.database.toUtf8().constData(),
                                 dpb->getBufferLength(&wrapper), dpb->getBuffer(&wrapper));
    QString failure;
    if (wrapper.getState() & Firebird::IStatus::STATE_ERRORS) {
        failure = ClientMessage(util, status);
        if (connecting.elapsed() >= std::chrono::milliseconds(connectTimeout_).count())
            failure = QStringLiteral("Сервер Firebird не ответил на подключение к %1 за %2 с: %3")
                          .arg(login.database)
                          .arg(connectTimeout_.count())
                          .arg(failure);
    }
    if (attachment != nullptr) {
        // A detach that succeeds lets go of the interface itself.
        wrapper.init();
        attachment->detach(&wrapper);
        if (wrapper.getState() & Firebird::IStatus::STATE_ERRORS)
            attachment->release();
    }
    provider->release();
    dpb->dispose();
    status->dispose();
    return failure;
}
