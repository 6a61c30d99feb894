#pragma once

#include <QString>

// The functions of a 1C infobase's global module that the transfer calls by name, and that
// every infobase (the stand-in too) must provide.
namespace InfobaseFunctions {
inline const QString ClearBalances = QStringLiteral("глОчиститьТаблицуОстатковОЛЕ");
inline const QString AddToBalances = QStringLiteral("глДобавитьВТаблицуОстатковОЛЕ");
inline const QString SetStockFilter = QStringLiteral("глЗадатьФильтрСкладовОЛЕ");
inline const QString FillBalances = QStringLiteral("глЗаполнитьТаблицуОстатковОЛЕ");
inline const QString GetFromBalances = QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ");
} // namespace InfobaseFunctions
