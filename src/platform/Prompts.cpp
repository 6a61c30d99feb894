#include "platform/Prompts.h"

QString DialogTitle(DialogKind kind) {
    switch (kind) {
    case DialogKind::Warning:
        return QStringLiteral("Warning");
    case DialogKind::Information:
        return QStringLiteral("Information");
    case DialogKind::Confirmation:
        return QStringLiteral("Confirm");
    case DialogKind::Error:
        return QStringLiteral("Error");
    }
    return QString();
}
