#include "Infobase.h"

#include "platform/Errors.h"
#include "platform/InfobaseFunctions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace {

QStringList ReadLines(const QString& path, bool* ok) {
    QFile file(path);
    *ok = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
    if (!*ok)
        return {};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed());
    return lines;
}

// Blank-separated words; double quotes group blanks into a word and are dropped.
QStringList SplitCommandLine(const QString& commandLine) {
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (QChar ch : commandLine) {
        if (ch == QLatin1Char('"')) {
            quoted = !quoted;
            inWord = true;
        } else if (ch.isSpace() && !quoted) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

void NoArgument(const QString& name, const QString& argument) {
    if (!argument.isEmpty())
        throw Exception(QStringLiteral("Функция %1 не принимает параметров").arg(name));
}

} // namespace

QVariant Infobase::RMTradeValue() {
    return QStringLiteral("Торговля+Склад");
}

QString Infobase::FunctionName(const QString& expression) {
    const QString text = expression.trimmed();
    const qsizetype open = text.indexOf(QLatin1Char('('));
    return open < 0 ? text : text.left(open).trimmed();
}

bool Infobase::Initialize(const QString& commandLine) {
    QString folder;
    QString user;
    QString password;
    for (const QString& word : SplitCommandLine(commandLine)) {
        if (word.size() < 2 || word[0] != QLatin1Char('/'))
            continue;
        const QChar key = word[1].toUpper();
        if (key == QLatin1Char('D'))
            folder = word.mid(2);
        else if (key == QLatin1Char('N'))
            user = word.mid(2);
        else if (key == QLatin1Char('P'))
            password = word.mid(2);
    }
    opened_ = false;
    codes_.clear();
    filter_.clear();
    filled_.clear();
    if (folder.isEmpty())
        return false;
    bool readable = false;
    const QStringList users =
        ReadLines(QDir(folder).filePath(QStringLiteral("Users.txt")), &readable);
    for (const QString& line : users) {
        const qsizetype separator = line.indexOf(QLatin1Char(';'));
        const QString name = separator < 0 ? line : line.left(separator);
        const QString expected = separator < 0 ? QString() : line.mid(separator + 1);
        if (name.compare(user, Qt::CaseInsensitive) == 0 && expected == password) {
            folder_ = folder;
            opened_ = true;
            break;
        }
    }
    return opened_;
}

QVariant Infobase::EvalExpr(const QString& expression) {
    if (!opened_)
        throw Exception(QStringLiteral("Информационная база не открыта"));
    const QString text = expression.trimmed();
    const qsizetype open = text.indexOf(QLatin1Char('('));
    if (open < 0 || !text.endsWith(QLatin1Char(')')))
        throw Exception(QStringLiteral("Синтаксическая ошибка в выражении: %1").arg(expression));
    const QString name = text.left(open).trimmed();
    const QString argument = text.mid(open + 1, text.size() - open - 2).trimmed();
    using Function = QVariant (Infobase::*)(const QString&);
    static const std::pair<const QString&, Function> functions[] = {
        {InfobaseFunctions::kClearBalances, &Infobase::Clear},
        {InfobaseFunctions::kAddToBalances, &Infobase::Add},
        {InfobaseFunctions::kSetStockFilter, &Infobase::SetFilter},
        {InfobaseFunctions::kFillBalances, &Infobase::Fill},
        {InfobaseFunctions::kGetFromBalances, &Infobase::Get}};
    // Names are matched without letter case, as 1C does.
    for (const auto& [known, function] : functions)
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return (this->*function)(argument);
    throw Exception(
        QStringLiteral("Процедура или функция с указанным именем не определена (%1)").arg(name));
}

std::optional<QList<Infobase::Balance>> Infobase::ReadBalances() const {
    bool readable = false;
    const QStringList lines =
        ReadLines(QDir(folder_).filePath(QStringLiteral("Balances.txt")), &readable);
    if (!readable)
        return std::nullopt;
    QList<Balance> balances;
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char(';'));
        bool number = false;
        const double quantity =
            fields.size() == 3
                ? fields[2].trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&number)
                : 0;
        if (!number)
            return std::nullopt;
        balances.append({fields[0].trimmed(), fields[1].trimmed().toCaseFolded(), quantity});
    }
    return balances;
}

QVariant Infobase::Clear(const QString& argument) {
    NoArgument(InfobaseFunctions::kClearBalances, argument);
    codes_.clear();
    filled_.clear();
    return QVariant();
}

QVariant Infobase::Add(const QString& argument) {
    if (argument.isEmpty())
        throw Exception(QStringLiteral("Не задан код товара"));
    codes_.insert(argument);
    return QVariant();
}

QVariant Infobase::SetFilter(const QString& argument) {
    if (argument.size() < 2 || !argument.startsWith(QLatin1Char('"')) ||
        !argument.endsWith(QLatin1Char('"')))
        throw Exception(QStringLiteral("Фильтр складов должен быть строкой"));
    QStringList warehouses;
    for (const QString& warehouse : argument.mid(1, argument.size() - 2).split(QLatin1Char(',')))
        if (!warehouse.trimmed().isEmpty())
            warehouses.append(warehouse.trimmed());
    if (!warehouses.isEmpty()) {
        const std::optional<QList<Balance>> balances = ReadBalances();
        if (!balances)
            return QStringLiteral("Не удалось прочитать остатки информационной базы");
        QSet<QString> known;
        for (const Balance& balance : *balances)
            known.insert(balance.warehouse);
        for (const QString& warehouse : warehouses)
            if (!known.contains(warehouse.toCaseFolded()))
                return QStringLiteral("Склад не найден: %1").arg(warehouse);
    }
    filter_.clear();
    for (const QString& warehouse : warehouses)
        filter_.append(warehouse.toCaseFolded());
    return qlonglong(1);
}

QVariant Infobase::Fill(const QString& argument) {
    NoArgument(InfobaseFunctions::kFillBalances, argument);
    filled_.clear();
    const std::optional<QList<Balance>> balances = ReadBalances();
    if (!balances)
        return qlonglong(-1);
    for (const Balance& balance : *balances) {
        if (!codes_.contains(balance.code))
            continue;
        double& sum = filled_[balance.code];
        if (filter_.isEmpty() || filter_.contains(balance.warehouse))
            sum += balance.quantity;
    }
    return qlonglong(1);
}

QVariant Infobase::Get(const QString& argument) {
    return filled_.value(argument, -1.0);
}
