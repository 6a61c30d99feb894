// Makes and drives the demo's program folder.
//
//   corvane-demo-data build  --folder <dir> --stand-in <program> [--period <minutes>]
//   corvane-demo-data change --folder <dir> --round <n>
//   corvane-demo-data show   --folder <dir> [--items <n>]
//
// "build" makes the receivers, the sources, Automation.ini and Corvane.ini; "change" writes
// the source balances of a round; "show" prints the first items of both sources beside their
// receivers. Every command opens the receivers through the folder's private Firebird root.

#include "demo/DemoData.h"

#include <QCoreApplication>
#include <QMap>
#include <QTextStream>

#include <cstdio>
#include <exception>

namespace {

QString Number(const QMap<int, double>& quantities, int code) {
    return quantities.contains(code) ? QString::number(quantities.value(code))
                                     : QStringLiteral("-");
}

void Show(const DemoData& data, int items) {
    const QMap<int, double> sqlSource = data.SourceQuantities(DemoData::Feed::Sql);
    const QMap<int, double> sqlReceiver = data.ReceiverQuantities(DemoData::Feed::Sql);
    const QMap<int, double> oneCSource = data.SourceQuantities(DemoData::Feed::OneC);
    const QMap<int, double> oneCReceiver = data.ReceiverQuantities(DemoData::Feed::OneC);
    // Each receiver catches up with its own source at its own cycle, so each is counted alone.
    const auto differing = [](const QMap<int, double>& source, const QMap<int, double>& receiver) {
        int count = 0;
        for (int code = DemoData::kFirstCode; code < DemoData::kFirstCode + DemoData::kItemCount;
             ++code)
            count += Number(source, code) != Number(receiver, code) ? 1 : 0;
        return count;
    };
    QTextStream out(stdout);
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("Код"), 6)
               .arg(QStringLiteral("SQLite"), 10)
               .arg(QStringLiteral("приемник"), 10)
               .arg(QStringLiteral("1С"), 10)
               .arg(QStringLiteral("приемник"), 10);
    for (int code = DemoData::kFirstCode; code < DemoData::kFirstCode + items; ++code) {
        out << QStringLiteral("%1 %2 %3 %4 %5\n")
                   .arg(code, 6)
                   .arg(Number(sqlSource, code), 10)
                   .arg(Number(sqlReceiver, code), 10)
                   .arg(Number(oneCSource, code), 10)
                   .arg(Number(oneCReceiver, code), 10);
    }
    out << QStringLiteral("Позиций всего: %1; расходятся с источником: SQLite %2, 1С %3\n")
               .arg(DemoData::kItemCount)
               .arg(differing(sqlSource, sqlReceiver))
               .arg(differing(oneCSource, oneCReceiver));
}

int Usage() {
    std::fputs("usage: corvane-demo-data build --folder <dir> --stand-in <program> "
               "[--period <minutes>]\n"
               "       corvane-demo-data change --folder <dir> --round <n>\n"
               "       corvane-demo-data show --folder <dir> [--items <n>]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty())
        return Usage();
    const QString command = arguments.takeFirst();
    QMap<QString, QString> options;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2)
        options.insert(arguments[i], arguments[i + 1]);
    if (arguments.size() % 2 != 0 || !options.contains(QStringLiteral("--folder")))
        return Usage();

    try {
        const DemoData data(options.value(QStringLiteral("--folder")));
        if (command == QLatin1String("build") && options.contains(QStringLiteral("--stand-in"))) {
            data.Build(options.value(QStringLiteral("--stand-in")),
                       options.value(QStringLiteral("--period"), QStringLiteral("1")).toInt());
        } else if (command == QLatin1String("change") &&
                   options.contains(QStringLiteral("--round"))) {
            data.WriteSourceBalances(options.value(QStringLiteral("--round")).toInt());
        } else if (command == QLatin1String("show")) {
            data.UsePrivateFirebirdRoot();
            Show(data, options.value(QStringLiteral("--items"), QStringLiteral("8")).toInt());
        } else {
            return Usage();
        }
    } catch (const std::exception& error) {
        // Our own errors carry their message as UTF-8.
        std::fprintf(stderr, "corvane-demo-data: %s\n", error.what());
        return 1;
    }
    return 0;
}
