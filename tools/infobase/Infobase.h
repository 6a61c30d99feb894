#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The infobase a stand-in server opens: a folder with "Users.txt" ("name;password" lines)
// and "Balances.txt" ("code;warehouse;quantity" lines), both UTF-8. It offers the five
// global-module functions the balance transfer calls; the balances file is read again at
// every fill. Errors the infobase reports are thrown as Exception.
class Infobase {
public:
    // What RMTrade gives; Initialize wants it back.
    static QVariant RMTradeValue();
    // The called function's name of an expression, as switches name it: "f(...)" gives "f".
    static QString FunctionName(const QString& expression);

    // Opens the infobase the command line names ("/D" folder, "/N" user, "/P" password,
    // each value glued to its switch, optionally in double quotes); false when the user or
    // the password does not match.
    bool Initialize(const QString& commandLine);
    QVariant EvalExpr(const QString& expression);

private:
    struct Balance {
        QString code;
        QString warehouse;
        double quantity;
    };

    std::optional<QList<Balance>> ReadBalances() const;
    QVariant Clear(const QString& argument);
    QVariant Add(const QString& argument);
    QVariant SetFilter(const QString& argument);
    QVariant Fill(const QString& argument);
    QVariant Get(const QString& argument);

    QString folder_;
    bool opened_ = false;
    QSet<QString> codes_;
    QStringList filter_;
    QHash<QString, double> filled_;
};
