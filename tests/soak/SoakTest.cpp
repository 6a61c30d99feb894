// The engine's soak on virtual time. The seed and the number of cycles come from --seed and
// --cycles, or SOAK_SEED and SOAK_CYCLES; an unset seed is drawn and printed.
#include "SoakRun.h"

#include "platform/RegionalSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

namespace {

quint32 Number(const QString& text, const char* what) {
    bool ok = false;
    const quint32 number = text.toUInt(&ok);
    if (!ok) {
        std::fprintf(stderr, "%s wants a whole number, got %s\n", what, qPrintable(text));
        std::exit(2);
    }
    return number;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Generator seed."),
                                  QStringLiteral("n"), qEnvironmentVariable("SOAK_SEED"));
    const QCommandLineOption cycles(
        QStringLiteral("cycles"), QStringLiteral("Worker cycles to run at least."),
        QStringLiteral("n"), qEnvironmentVariable("SOAK_CYCLES", QStringLiteral("1000")));
    parser.addOptions({seed, cycles});
    parser.addHelpOption();
    parser.process(application);
    RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    const quint32 chosenSeed = parser.value(seed).isEmpty() ? QRandomGenerator::system()->generate()
                                                            : Number(parser.value(seed), "--seed");
    SoakRun run(chosenSeed, int(Number(parser.value(cycles), "--cycles")));
    return run.Run() ? 0 : 1;
}
