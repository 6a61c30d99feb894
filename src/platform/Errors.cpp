#include "platform/Errors.h"

Exception::Exception(QString message)
    : message_(std::move(message))
    , utf8_(message_.toUtf8()) {}

EShutdown::EShutdown()
    : Exception(QStringLiteral("The program is ending")) {}
