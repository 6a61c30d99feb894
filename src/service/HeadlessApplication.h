#pragma once

#include "service/ErrorShowingApplication.h"

#include <QCoreApplication>

// The event loop of the service without a window.
using HeadlessApplication = ErrorShowingApplication<QCoreApplication>;
