#include "FailureKind.h"

#include "platform/Errors.h"

QString FailureKind(const std::function<void()>& call, QString* message) {
    const auto kind = [message](const Exception& error, const char* name) {
        if (message)
            *message = error.Message();
        return QString::fromLatin1(name);
    };
    try {
        call();
    } catch (const EOleException& error) {
        return kind(error, "EOleException");
    } catch (const EOleSysError& error) {
        return kind(error, "EOleSysError");
    } catch (const Exception& error) {
        return kind(error, "Exception");
    }
    return QString();
}
