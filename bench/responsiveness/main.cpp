// How late the main thread's event loop runs while many connections cycle at once, in the
// window (offscreen unless a display is chosen) and without it, and what the rewrite of the
// settings file costs that every status post makes. Each mode runs in a child process of its
// own (--child), on the same program folder made by the parent.

#include "BenchEnvironment.h"
#include "BenchProgramFolder.h"
#include "LatenessProbe.h"
#include "StatusPostTimes.h"

#include "support/FileReplacementCounter.h"
#include "support/SettingsConfiguration.h"

#include "core/TDm.h"
#include "platform/Clock.h"
#include "service/HeadlessApplication.h"
#include "service/HeadlessPrompts.h"
#include "service/HeadlessWindowLink.h"
#include "service/TSynchronization_Service.h"
#include "ui/SynchronizationApplication.h"
#include "ui/TMain.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

namespace {

constexpr double kGoalMs = 50;

double Percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    const auto at = values.begin() + qsizetype(share * double(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

double Longest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void PrintLoad(const char* when) {
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        std::printf("load average %s: %s", when, loadavg.readLine().constData());
}

void Report(const char* mode, double seconds, const LatenessProbe& probe,
            const StatusPostTimes& posts, int fileWrites) {
    std::vector<double> lateness;
    const LatenessProbe::Tick* worst = nullptr;
    int overGoal = 0;
    double postsInLateTicks = 0;
    for (const LatenessProbe::Tick& tick : probe.Ticks()) {
        lateness.push_back(tick.latenessMs);
        if (!worst || tick.latenessMs > worst->latenessMs)
            worst = &tick;
        if (tick.latenessMs > kGoalMs) {
            ++overGoal;
            postsInLateTicks += tick.busyMs;
        }
    }
    const std::vector<double>& postMs = posts.PostMs();
    const double postSeconds = double(posts.TotalNs()) / 1.0e9;
    std::printf("%s: %.1f s, %zu probe ticks; lateness longest %.1f ms, 99th percentile %.1f ms, "
                "median %.1f ms; %d ticks over %.0f ms\n",
                mode, seconds, lateness.size(), Longest(lateness), Percentile(lateness, 0.99),
                Percentile(lateness, 0.5), overGoal, kGoalMs);
    if (worst)
        std::printf("%s: the longest wait held %.1f ms of status posts; the ticks over %.0f ms "
                    "held %.1f ms of them in all\n",
                    mode, worst->busyMs, kGoalMs, postsInLateTicks);
    std::printf("%s: %zu status posts (%.0f a second), each median %.3f ms, 99th percentile "
                "%.3f ms, longest %.3f ms; %.2f s in all, %.1f %% of the main thread\n",
                mode, postMs.size(), double(postMs.size()) / seconds, Percentile(postMs, 0.5),
                Percentile(postMs, 0.99), Longest(postMs), postSeconds,
                100.0 * postSeconds / seconds);
    std::printf("%s: the settings file written %d times for the %zu posts (with the save at "
                "the end)\n",
                mode, fileWrites, postMs.size());
    std::printf("%s: goal never more than %.0f ms late: %s\n", mode, kGoalMs,
                Longest(lateness) <= kGoalMs ? "met" : "MISSED");
    std::fflush(stdout);
}

// Runs the service on the folder's settings for the given time with every connection started.
int RunChild(int argc, char** argv, const QString& mode, const QString& folder, int seconds) {
    const bool windowed = mode == QLatin1String("window");
    if (windowed && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application;
    const auto clock = std::make_shared<SystemClock>();
    // Boxes nobody answers would stop the main thread; these go to the log instead.
    HeadlessPrompts prompts(folder, *clock);
    if (windowed) {
        auto widgets = std::make_unique<SynchronizationApplication>(argc, argv);
        widgets->SetPrompts(&prompts);
        application = std::move(widgets);
    } else {
        auto headless = std::make_unique<HeadlessApplication>(argc, argv);
        headless->SetPrompts(&prompts);
        application = std::move(headless);
    }

    HeadlessWindowLink noWindow;
    const ServiceEnvironment environment = BenchEnvironment(folder, clock, prompts, noWindow);

    TDm dm;
    std::unique_ptr<TMain> window;
    std::unique_ptr<TSynchronization_Service> headlessService;
    if (windowed) {
        window = std::make_unique<TMain>(dm, environment);
        window->show();
    } else {
        dm.TaskScheduler.start();
        headlessService = std::make_unique<TSynchronization_Service>(dm, environment);
    }
    TSynchronization_Service& service = windowed ? window->Service() : *headlessService;
    if (!service.Loaded()) {
        std::fprintf(stderr, "%s\n", qPrintable(service.LoadError()));
        return 1;
    }

    {
        const StatusPostTimes posts(dm.Connection);
        FileReplacementCounter fileWrites(service.SettingsPath());
        LatenessProbe probe([&posts] { return posts.TotalNs(); });
        QElapsedTimer elapsed;
        QTimer::singleShot(0, application.get(), [&] {
            service.StartAllConnections();
            probe.Start();
            elapsed.start();
        });
        // The end is posted from a thread of its own: a main thread flooded with the workers'
        // posted status changes may never come to its own timers. The window ends as on
        // SIGTERM, without the exit question; the service stops the connections and saves.
        const std::unique_ptr<QThread> end(
            QThread::create([seconds, shown = window.get(), loop = application.get()] {
                QThread::sleep(static_cast<unsigned long>(seconds));
                if (shown)
                    QMetaObject::invokeMethod(shown, &TMain::CloseWithoutQuestion,
                                              Qt::QueuedConnection);
                else
                    QMetaObject::invokeMethod(
                        loop, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
            }));
        end->start();
        QCoreApplication::exec();
        end->wait();
        probe.Stop();
        Report(qPrintable(mode), double(elapsed.nsecsElapsed()) / 1.0e9, probe, posts,
               fileWrites.Count());
    }
    dm.TaskScheduler.stop();
    return 0;
}

// The rewrite alone, as a status post makes it: the Connection section from the stored rows.
void MeasureSettingsWrite(const QString& settingsPath) {
    const QString copy = settingsPath + QStringLiteral(".write");
    QFile::remove(copy);
    QFile::copy(settingsPath, copy);
    SettingsConfiguration configuration(copy);
    configuration.settingsFile.LoadConfiguration();
    std::vector<double> writeMs;
    for (int run = 0; run < 200; ++run) {
        QElapsedTimer timer;
        timer.start();
        configuration.settingsFile.SaveStoredRows(configuration.dm.Connection);
        writeMs.push_back(double(timer.nsecsElapsed()) / 1.0e6);
    }
    std::printf("settings file of %lld bytes, %d connections: one rewrite median %.3f ms, 99th "
                "percentile %.3f ms, longest %.3f ms (200 rewrites)\n",
                QFileInfo(copy).size(), configuration.dm.Connection.RecordCount(),
                Percentile(writeMs, 0.5), Percentile(writeMs, 0.99), Longest(writeMs));
    std::fflush(stdout);
}

int RunParent(const QCommandLineParser& options) {
    const int connections = options.value(QStringLiteral("connections")).toInt();
    const int items = options.value(QStringLiteral("items")).toInt();
    const int period = options.value(QStringLiteral("period")).toInt();
    std::printf("%d connections, %d items each, period %d min; making the program folder...\n",
                connections, items, period);
    std::fflush(stdout);
    const BenchProgramFolder folder(connections, items, period);
    MeasureSettingsWrite(folder.SettingsPath());
    for (const QString& mode : options.value(QStringLiteral("modes")).split(u',')) {
        PrintLoad("before");
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), mode, QStringLiteral("--folder"), folder.Path(),
                     QStringLiteral("--seconds"), options.value(QStringLiteral("seconds"))});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
            child.exitCode() != 0) {
            std::fprintf(stderr, "the %s run failed\n", qPrintable(mode));
            return 1;
        }
        PrintLoad("after");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser options;
    options.addOptions({
        {QStringLiteral("connections"), QStringLiteral("Connections running at once."),
         QStringLiteral("n"), QStringLiteral("100")},
        {QStringLiteral("items"), QStringLiteral("Items in each receiver."), QStringLiteral("n"),
         QStringLiteral("300")},
        {QStringLiteral("period"), QStringLiteral("Update period of each connection, minutes."),
         QStringLiteral("min"), QStringLiteral("0")},
        {QStringLiteral("seconds"), QStringLiteral("How long each mode runs."), QStringLiteral("s"),
         QStringLiteral("30")},
        {QStringLiteral("modes"), QStringLiteral("Which of window and headless run."),
         QStringLiteral("list"), QStringLiteral("window,headless")},
        {QStringLiteral("child"), QStringLiteral("Internal: run one mode."),
         QStringLiteral("mode")},
        {QStringLiteral("folder"), QStringLiteral("Internal: the program folder."),
         QStringLiteral("path")},
    });
    const QCommandLineOption help(QStringLiteral("help"), QStringLiteral("These options."));
    options.addOption(help);
    if (!options.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(options.errorText()));
        return 1;
    }
    if (options.isSet(help)) {
        std::printf("%s", qPrintable(options.helpText()));
        return 0;
    }
    try {
        if (options.isSet(QStringLiteral("child")))
            return RunChild(argc, argv, options.value(QStringLiteral("child")),
                            options.value(QStringLiteral("folder")),
                            options.value(QStringLiteral("seconds")).toInt());
        const QCoreApplication application(argc, argv);
        return RunParent(options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
}
