#pragma once

#include "core/ConnectionStatus.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "ui/widgets/DataSource.h"

#include <QTest>
#include <QTime>

// A data module with a few rows in every edited table and a data source on each, as the main
// window binds them.
class WidgetFixture {
public:
    WidgetFixture() {
        for (RecordSet* set : {&dm.Connection_Types, &dm.Source, &dm.Receiver, &dm.Connection})
            set->Open();
        AddNamed(dm.Connection_Types, Fields::Connection_Types::Name, 1,
                 QStringLiteral("База данных"));
        AddNamed(dm.Connection_Types, Fields::Connection_Types::Name, 2,
                 QStringLiteral("1С:Предприятие"));
        AddNamed(dm.Connection_Types, Fields::Connection_Types::Name, 3,
                 QStringLiteral("1С сервер"));
        AddNamed(dm.Receiver, Fields::Receiver::Name_Receiver, 1, QStringLiteral("Склад"));
        AddNamed(dm.Receiver, Fields::Receiver::Name_Receiver, 2, QStringLiteral("Магазин"));
        AddNamed(dm.Source, Fields::Source::Name_Source, 1, QStringLiteral("Учет"));
        AddConnection(1, QStringLiteral("Первое"), 1, QTime(9, 0));
        AddConnection(2, QStringLiteral("Второе"), 2, QTime());
        AddConnection(3, QStringLiteral("Третье"), 1, QTime(7, 15, 30));
        for (RecordSet* set : {&dm.Connection_Types, &dm.Receiver, &dm.Connection})
            set->First();
        dm.Receiver.Edit();
        dm.Receiver.FieldByName(Fields::Receiver::Id_Connection_Types).SetAsInteger(2);
        dm.Receiver.Post();
    }

    static void AddNamed(RecordSet& set, const QString& nameField, int id, const QString& name) {
        set.Append();
        set.FieldByName(Fields::Shared::Id).SetAsInteger(id);
        set.FieldByName(nameField).SetAsString(name);
        set.Post();
    }

    void AddConnection(int id, const QString& name, int receiver, const QTime& start) {
        RecordSet& set = dm.Connection;
        set.Append();
        set.FieldByName(Fields::Connection::Id).SetAsInteger(id);
        set.FieldByName(Fields::Connection::Name_Connection).SetAsString(name);
        set.FieldByName(Fields::Connection::Status).SetAsInteger(NotUpdating);
        set.FieldByName(Fields::Connection::Id_Receiver).SetAsInteger(receiver);
        set.FieldByName(Fields::Connection::Id_Source).SetAsInteger(1);
        set.FieldByName(Fields::Connection::Time_Update).SetAsInteger(10 * id);
        set.FieldByName(Fields::Connection::Monday).SetAsInteger(id % 2);
        set.FieldByName(Fields::Connection::TimeStart).SetAsTime(start);
        set.Post();
    }

    // Types text key by key; QTest's own keyClicks takes Latin-1 only.
    static void Type(QWidget* widget, const QString& text) {
        for (const QChar ch : text) {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
        }
    }

    TDm dm;
    DataSource connection{dm.Connection};
    DataSource receiver{dm.Receiver};
    DataSource source{dm.Source};
    DataSource connectionTypes{dm.Connection_Types};
};
