#pragma once

#include <QString>
#include <QStringList>

// Field names of the configuration tables, spelled as the settings file stores them, so that a
// mistyped name fails to compile instead of failing at run time.
namespace Fields {

// For code that handles any table having the field: Id keys Connection, Receiver, Source and
// Connection_Types; the connection string and its type are kept by Receiver and
// Source alike.
namespace Shared {
inline const QString Id = QStringLiteral("Id");
inline const QString Connection_String = QStringLiteral("Connection_String");
inline const QString Id_Connection_Types = QStringLiteral("Id_Connection_Types");
inline const QString Name_Connection_Types = QStringLiteral("Name_Connection_Types");
} // namespace Shared

namespace Connection {
inline const QString Id = QStringLiteral("Id");
inline const QString Name_Connection = QStringLiteral("Name_Connection");
inline const QString Status = QStringLiteral("Status");
inline const QString Update_Time = QStringLiteral("Update_Time");
inline const QString Id_Receiver = QStringLiteral("Id_Receiver");
inline const QString Name_Receiver = QStringLiteral("Name_Receiver");
inline const QString Id_Source = QStringLiteral("Id_Source");
inline const QString Name_Source = QStringLiteral("Name_Source");
inline const QString Time_Update = QStringLiteral("Time_Update");
inline const QString CalStatus = QStringLiteral("CalStatus");
inline const QString Updated = QStringLiteral("Updated");
inline const QString Monday = QStringLiteral("Monday");
inline const QString Tuesday = QStringLiteral("Tuesday");
inline const QString Wednesday = QStringLiteral("Wednesday");
inline const QString Thursday = QStringLiteral("Thursday");
inline const QString Friday = QStringLiteral("Friday");
inline const QString Saturday = QStringLiteral("Saturday");
inline const QString Sunday = QStringLiteral("Sunday");
inline const QString TimeStart = QStringLiteral("TimeStart");
inline const QString TimeEnd = QStringLiteral("TimeEnd");
// The day flags in the order of QDate::dayOfWeek().
inline const QStringList WeekDays = {Monday, Tuesday,  Wednesday, Thursday,
                                     Friday, Saturday, Sunday};
} // namespace Connection

namespace Receiver {
inline const QString Id = QStringLiteral("Id");
inline const QString Name_Receiver = QStringLiteral("Name_Receiver");
inline const QString Connection_String = QStringLiteral("Connection_String");
inline const QString Id_Connection_Types = QStringLiteral("Id_Connection_Types");
inline const QString Name_Connection_Types = QStringLiteral("Name_Connection_Types");
inline const QString Key_Field = QStringLiteral("Key_Field");
inline const QString Name_Updated_Field = QStringLiteral("Name_Updated_Field");
inline const QString Name_Table = QStringLiteral("Name_Table");
} // namespace Receiver

namespace Source {
inline const QString Id = QStringLiteral("Id");
inline const QString Name_Source = QStringLiteral("Name_Source");
inline const QString Connection_String = QStringLiteral("Connection_String");
inline const QString Id_Connection_Types = QStringLiteral("Id_Connection_Types");
inline const QString Name_Connection_Types = QStringLiteral("Name_Connection_Types");
inline const QString SQL_Query = QStringLiteral("SQL_Query");
inline const QString Name_Docking_Field = QStringLiteral("Name_Docking_Field");
inline const QString Name_Updated_Field = QStringLiteral("Name_Updated_Field");
inline const QString CustomParameter = QStringLiteral("CustomParameter");
} // namespace Source

namespace Connection_Types {
inline const QString Id = QStringLiteral("Id");
inline const QString Name = QStringLiteral("Name");
} // namespace Connection_Types

namespace VremTable {
inline const QString IdTable = QStringLiteral("IdTable");
inline const QString NameTable = QStringLiteral("NameTable");
inline const QString Password = QStringLiteral("Password");
inline const QString StartUpdateTime = QStringLiteral("StartUpdateTime");
inline const QString IdReceiver = QStringLiteral("IdReceiver");
} // namespace VremTable

} // namespace Fields
