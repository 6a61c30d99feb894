// Time to load a settings file with many rows in each table, and to save one table of it, at
// three sizes; the ratios show how the times grow with the rows (the goal is linear: 2.0).

#include "core/IdCounters.h"
#include "core/PasswordCipher.h"
#include "core/PasswordKeeper.h"
#include "core/RecordSet.h"
#include "core/SettingsFile.h"
#include "core/TDm.h"
#include "core/TableEventStore.h"
#include "core/TableFields.h"
#include "platform/RegionalSettings.h"
#include "support/SettingsConfiguration.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QString Key(const QString& name, int rows, const std::function<QString(int)>& value) {
    QStringList values;
    values.reserve(rows);
    for (int id = 1; id <= rows; ++id)
        values.append(value(id));
    return name + u'=' + values.join(u'`') + u'\n';
}

QString SettingsText(int rows) {
    const PasswordCipher cipher;
    const QString password = cipher.EncipherPassword(QStringLiteral("masterkey"));
    const auto number = [](int id) { return QString::number(id); };
    const auto fixed = [](const char* text) {
        return [text](int) { return QString::fromLatin1(text); };
    };
    QString text = QStringLiteral("[Counter_Id]\nCounter_Connection=%1\nCounter_Receiver=%1\n"
                                  "Counter_Source=%1\n[Connection_Types]\nId=1`2\nName=SQL`1C\n")
                       .arg(rows);
    text +=
        QStringLiteral("[Source]\n") + Key(Fields::Source::Id, rows, number) +
        Key(
            Fields::Source::Name_Source, rows,
            [](int id) { return QStringLiteral("Source %1").arg(id); }) +
        Key(
            Fields::Source::Connection_String, rows,
            [](int id) { return QStringLiteral("Driver=SQLite3;Database=/data/%1.db").arg(id); }) +
        Key(Fields::Source::Id_Connection_Types, rows, fixed("1")) +
        Key(Fields::Source::SQL_Query, rows, fixed("select Code, Qty from Stock")) +
        Key(Fields::Source::Name_Docking_Field, rows, fixed("Code")) +
        Key(Fields::Source::Name_Updated_Field, rows, fixed("Qty"));
    text += QStringLiteral("[Receiver]\n") + Key(Fields::Receiver::Id, rows, number) +
            Key(
                Fields::Receiver::Name_Receiver, rows,
                [](int id) { return QStringLiteral("Receiver %1").arg(id); }) +
            Key(
                Fields::Receiver::Connection_String, rows,
                [&password](int id) {
                    return QStringLiteral("Driver=Firebird/InterBase(r) driver;Dbname=/data/%1.fdb;"
                                          "Pwd=%2")
                        .arg(QString::number(id), password);
                }) +
            Key(Fields::Receiver::Id_Connection_Types, rows, fixed("1")) +
            Key(Fields::Receiver::Key_Field, rows, fixed("Code")) +
            Key(Fields::Receiver::Name_Updated_Field, rows, fixed("Quantity")) +
            Key(Fields::Receiver::Name_Table, rows, fixed("Stock"));
    text += QStringLiteral("[Connection]\n") + Key(Fields::Connection::Id, rows, number) +
            Key(Fields::Connection::Name_Connection, rows,
                [](int id) { return QStringLiteral("Connection %1").arg(id); }) +
            Key(Fields::Connection::Status, rows, fixed("0")) +
            Key(Fields::Connection::Update_Time, rows, fixed("05.03.2009 14:30:00")) +
            Key(Fields::Connection::Id_Receiver, rows, number) +
            Key(Fields::Connection::Id_Source, rows, number) +
            Key(Fields::Connection::Time_Update, rows, fixed("30")) +
            Key(Fields::Connection::Updated, rows, fixed("0")) +
            Key(Fields::Connection::Monday, rows, fixed("1")) +
            Key(Fields::Connection::Saturday, rows, fixed("0")) +
            Key(Fields::Connection::TimeStart, rows, fixed("9:00:00")) +
            Key(Fields::Connection::TimeEnd, rows, fixed("18:00:00"));
    return text;
}

struct Times {
    double load = 0;
    double saveConnection = 0;
    double saveReceiver = 0;
};

// Best of three runs, in milliseconds.
Times Measure(const QString& path, int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(SettingsText(rows).toUtf8()) < 0)
        qFatal("cannot write %s", qPrintable(path));
    file.close();

    Times best{1e18, 1e18, 1e18};
    for (int run = 0; run < 3; ++run) {
        SettingsConfiguration configuration(path);
        QElapsedTimer timer;
        timer.start();
        configuration.settingsFile.LoadConfiguration();
        best.load = std::min(best.load, timer.nsecsElapsed() / 1e6);
        if (configuration.dm.Connection.RecordCount() != rows)
            qFatal("loaded %d rows instead of %d", configuration.dm.Connection.RecordCount(), rows);

        timer.restart();
        configuration.settingsFile.SaveTable(configuration.dm.Connection);
        best.saveConnection = std::min(best.saveConnection, timer.nsecsElapsed() / 1e6);
        timer.restart();
        configuration.settingsFile.SaveTable(configuration.dm.Receiver);
        best.saveReceiver = std::min(best.saveReceiver, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Corvane.ini"));

    const int sizes[] = {2500, 5000, 10000};
    Times times[3];
    std::printf("%8s %12s %22s %20s\n", "rows", "load ms", "save Connection ms",
                "save Receiver ms");
    for (int i = 0; i < 3; ++i) {
        times[i] = Measure(path, sizes[i]);
        std::printf("%8d %12.1f %22.1f %20.1f\n", sizes[i], times[i].load, times[i].saveConnection,
                    times[i].saveReceiver);
        std::fflush(stdout);
    }
    for (int i = 1; i < 3; ++i) {
        std::printf("growth %dk -> %dk: load x%.2f, save Connection x%.2f, save Receiver x%.2f "
                    "(linear: x2.00)\n",
                    sizes[i - 1] / 1000, sizes[i] / 1000, times[i].load / times[i - 1].load,
                    times[i].saveConnection / times[i - 1].saveConnection,
                    times[i].saveReceiver / times[i - 1].saveReceiver);
    }
    return 0;
}
