// A settings file of any bytes loaded whole into the tables, as the service loads it at start.
#include "FuzzInput.h"

#include "platform/Errors.h"
#include "support/SettingsConfiguration.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzInput::StartApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path =
        FuzzInput::WriteScratchFile(QStringLiteral("settings.ini"), FuzzInput::Bytes(data, size));
    SettingsConfiguration configuration(path);
    try {
        configuration.settingsFile.LoadConfiguration();
    } catch (const Exception&) {
        // A value that does not convert stops the load with a message.
    }
    // What was loaded is browsed as the window would show it.
    for (RecordSet* table : {&configuration.dm.Connection_Types, &configuration.dm.Source,
                             &configuration.dm.Receiver, &configuration.dm.Connection}) {
        for (int row = 0; row < table->RecordCount(); ++row) {
            for (int field = 0; field < table->FieldDefs().size(); ++field)
                table->ValueAt(row, field).toString();
        }
    }
    return 0;
}
