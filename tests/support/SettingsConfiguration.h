#pragma once

#include "core/IdCounters.h"
#include "core/PasswordKeeper.h"
#include "core/SettingsFile.h"
#include "core/TDm.h"
#include "core/TableEventStore.h"

// Everything a settings file reads into and writes from, as the service holds it, with the
// tables opened as the service opens them.
struct SettingsConfiguration {
    explicit SettingsConfiguration(const QString& path)
        : settingsFile(path, dm, counters, events, passwords) {
        for (RecordSet* table :
             {&dm.Connection_Types, &dm.Source, &dm.Receiver, &dm.Connection, &dm.VremTable})
            table->Open();
    }

    TDm dm;
    IdCounters counters;
    TableEventStore events;
    PasswordKeeper passwords{dm.VremTable, events};
    SettingsFile settingsFile;
};
