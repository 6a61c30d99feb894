#pragma once

#include "core/TDm.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "service/TSynchronization_Service.h"
#include "support/RecordingWindowLink.h"
#include "support/ScriptedPrompts.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

// For the window layer's tests: the real service over the real tables, with its settings file
// in a folder of its own, scripted prompts and an owner window for dialogs.
class SettingsServiceFixture {
public:
    SettingsServiceFixture() = default;
    SettingsServiceFixture(const SettingsServiceFixture&) = delete;
    SettingsServiceFixture& operator=(const SettingsServiceFixture&) = delete;

    QString SettingsPath() const { return Folder.filePath(QStringLiteral("Corvane.ini")); }
    bool SettingsWritten() const { return QFile::exists(SettingsPath()); }
    void RemoveSettings() const { QFile::remove(SettingsPath()); }
    QByteArray ReadSettings() const {
        QFile file(SettingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir Folder;
    ScriptedPrompts Prompts;
    RecordingWindowLink Window;
    TDm Dm;
    TSynchronization_Service Service{Dm, Environment()};
    QWidget Owner;

private:
    ServiceEnvironment Environment() {
        ServiceEnvironment environment;
        environment.ProgramFolder = Folder.path();
        environment.TimeSource =
            std::make_shared<VirtualClock>(QDateTime(QDate(2026, 3, 2), QTime(10, 0)));
        environment.HandOver = std::make_shared<MainThreadHandOver>();
        environment.OperatorPrompts = &Prompts;
        environment.Window = &Window;
        return environment;
    }
};
