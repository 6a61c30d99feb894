#pragma once

#include <QString>

#include <functional>

// Which kind of failure a call ends with, the way the worker tells them apart: "EOleException",
// "EOleSysError", "Exception", or empty when it returns normally. message takes its text.
QString FailureKind(const std::function<void()>& call, QString* message = nullptr);
