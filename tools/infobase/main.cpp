// A stand-in for a 1C:Enterprise infobase's automation server, for tests and the demo.
#include "StandInServer.h"

#include "platform/Errors.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    try {
        StandInServer server(arguments);
        return server.Run();
    } catch (const Exception& error) {
        std::fprintf(stderr, "infobase-standin: %s\n", error.what());
        return 2;
    }
}
