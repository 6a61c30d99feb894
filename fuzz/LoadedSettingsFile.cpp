#include "LoadedSettingsFile.h"

#include "FuzzInput.h"

#include "platform/Errors.h"

LoadedSettingsFile::LoadedSettingsFile(const QByteArray& bytes)
    : configuration(FuzzInput::WriteScratchFile(QStringLiteral("settings.ini"), bytes)) {
    try {
        settings = configuration.settingsFile.LoadConfiguration();
    } catch (const Exception&) {
        // The message is the operator's; the fuzzing is about what the load leaves behind.
    }
}
