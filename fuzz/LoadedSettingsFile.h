#pragma once

#include "support/SettingsConfiguration.h"

#include <QByteArray>

// Bytes loaded as the whole settings file into the tables, as the service loads it at start: a
// value that does not convert stops the load, the rows before it stay.
struct LoadedSettingsFile {
    explicit LoadedSettingsFile(const QByteArray& bytes);

    SettingsConfiguration configuration;
    ServiceSettings settings;
};
