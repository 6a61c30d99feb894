#include "core/ConnectionStatus.h"

QString StatusCaption(const QVariant& status) {
    if (!status.isValid())
        return {};
    bool ok = false;
    const int value = status.toInt(&ok);
    if (!ok)
        return {};
    switch (value) {
    case NotUpdating:
        return QStringLiteral("Не обновляется");
    case Updating:
        return QStringLiteral("Обновляется");
    case UpdateError:
        return QStringLiteral("Ошибка при обновлении");
    case Stopping:
        return QStringLiteral("Останавливается");
    case ConnectError:
        return QStringLiteral("Ошибка подключения");
    case WaitingForPeriod:
        return QStringLiteral("Ожидание рабочего периода");
    default:
        return {};
    }
}
