// A settings file of any bytes loaded whole into the tables, as the service loads it at start.
#include "FuzzInput.h"
#include "LoadedSettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LoadedSettingsFile loaded(FuzzInput::Bytes(data, size));
    TDm& dm = loaded.configuration.dm;
    // What was loaded is browsed as the window would show it.
    for (RecordSet* table : {&dm.Connection_Types, &dm.Source, &dm.Receiver, &dm.Connection}) {
        for (int row = 0; row < table->RecordCount(); ++row)
            for (int field = 0; field < table->FieldDefs().size(); ++field)
                table->ValueAt(row, field).toString();
    }
    return 0;
}
