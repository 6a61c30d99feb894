#pragma once

#include <QString>

// The functions of a 1C infobase's global module that the transfer calls by name, and that
// every infobase (the stand-in too) must provide.
namespace InfobaseFunctions {
inline const QString kClearBalances = QStringLiteral("глОчиститьТаблицуОстатковОЛЕ");
inline const QString kAddToBalances = QStringLiteral("глДобавитьВТаблицуОстатковОЛЕ");
inline const QString kSetStockFilter = QStringLiteral("глЗадатьФильтрСкладовОЛЕ");
inline const QString kFillBalances = QStringLiteral("глЗаполнитьТаблицуОстатковОЛЕ");
inline const QString kGetFromBalances = QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ");
} // namespace InfobaseFunctions
