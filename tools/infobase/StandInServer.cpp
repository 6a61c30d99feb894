#include "StandInServer.h"

#include "platform/AutomationProtocol.h"
#include "platform/Errors.h"

#include <QCommandLineParser>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// "name:text" pairs by folded name; throws for a pair without a name.
QHash<QString, QString> NamedTexts(const QString& option, const QStringList& values) {
    QHash<QString, QString> texts;
    for (const QString& value : values) {
        const qsizetype colon = value.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            throw Exception(QStringLiteral("--%1 wants name:text, got %2").arg(option, value));
        texts.insert(value.left(colon).toCaseFolded(), value.mid(colon + 1));
    }
    return texts;
}

QSet<QString> FoldedNames(const QStringList& names) {
    QSet<QString> folded;
    for (const QString& name : names)
        folded.insert(name.toCaseFolded());
    return folded;
}

} // namespace

StandInServer::StandInServer(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption fail(QStringLiteral("fail"), QString(),
                                  QStringLiteral("name:message"));
    const QCommandLineOption answer(QStringLiteral("answer"), QString(),
                                    QStringLiteral("name:text"));
    const QCommandLineOption exitDuring(QStringLiteral("exit-during"), QString(),
                                        QStringLiteral("name"));
    const QCommandLineOption garble(QStringLiteral("garble"), QString(), QStringLiteral("name"));
    const QCommandLineOption delay(QStringLiteral("delay"), QString(), QStringLiteral("ms"));
    parser.addOptions({fail, answer, exitDuring, garble, delay});
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty())
        throw Exception(parser.errorText().isEmpty() ? QStringLiteral("unexpected arguments")
                                                     : parser.errorText());
    failures_ = NamedTexts(QStringLiteral("fail"), parser.values(fail));
    answers_ = NamedTexts(QStringLiteral("answer"), parser.values(answer));
    exits_ = FoldedNames(parser.values(exitDuring));
    garbled_ = FoldedNames(parser.values(garble));
    if (parser.isSet(delay)) {
        bool ok = false;
        delayMs_ = parser.value(delay).toInt(&ok);
        if (!ok || delayMs_ < 0)
            throw Exception(QStringLiteral("--delay wants milliseconds"));
    }
}

int StandInServer::Run() {
    char* buffer = nullptr;
    size_t capacity = 0;
    ssize_t length = 0;
    while ((length = ::getline(&buffer, &capacity, stdin)) > 0) {
        QByteArray line(buffer, length);
        if (line.endsWith('\n'))
            line.chop(1);
        const QByteArray answer = Answer(line);
        std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
        std::fflush(stdout);
    }
    std::free(buffer);
    return 0;
}

QByteArray StandInServer::Answer(const QByteArray& line) {
    const std::optional<AutomationProtocol::Request> request =
        AutomationProtocol::DecodeRequest(line);
    if (!request)
        return AutomationProtocol::EncodeError(QStringLiteral("Неверный запрос"));
    if (delayMs_ > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    QStringList names;
    if (!failures_.isEmpty() || !answers_.isEmpty() || !exits_.isEmpty() || !garbled_.isEmpty()) {
        names.append(request->method.toCaseFolded());
        if (request->method == QLatin1String("EvalExpr") && !request->arguments.isEmpty())
            names.append(
                Infobase::FunctionName(request->arguments.first().toString()).toCaseFolded());
    }
    for (const QString& name : names) {
        if (exits_.contains(name))
            std::_Exit(3);
        if (garbled_.contains(name))
            return "garbage\n";
        if (failures_.contains(name))
            return AutomationProtocol::EncodeError(failures_.value(name));
        if (answers_.contains(name))
            return AutomationProtocol::EncodeAnswer(answers_.value(name));
    }
    try {
        return AutomationProtocol::EncodeAnswer(Dispatch(request->method, request->arguments));
    } catch (const Exception& error) {
        return AutomationProtocol::EncodeError(error.Message());
    }
}

QVariant StandInServer::Dispatch(const QString& method, const QVariantList& arguments) {
    if (method == QLatin1String("RMTrade") && arguments.isEmpty())
        return Infobase::RMTradeValue();
    if (method == QLatin1String("Initialize") && arguments.size() == 3) {
        if (arguments[0] != Infobase::RMTradeValue())
            throw Exception(QStringLiteral("Первый параметр Initialize не является RMTrade"));
        return AutomationProtocol::Boolean(infobase_.Initialize(arguments[1].toString()));
    }
    if (method == QLatin1String("EvalExpr") && arguments.size() == 1)
        return infobase_.EvalExpr(arguments[0].toString());
    throw Exception(QStringLiteral("Метод %1 с %2 параметрами не поддерживается")
                        .arg(method)
                        .arg(arguments.size()));
}
