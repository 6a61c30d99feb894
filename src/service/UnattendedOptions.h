#pragma once

#include <QHostAddress>
#include <QStringList>

// The command-line options for running with no one watching; each is off by default.
struct UnattendedOptions {
    // "--status <address>:<port>": the status server's address.
    QHostAddress StatusAddress;
    quint16 StatusPort = 0;
    // "--on-event <program> [arguments…]", the rest of the command line.
    QStringList EventCommand;
    // "--alert-stale <minutes>" in seconds.
    qint64 StaleSeconds = 0;
};
