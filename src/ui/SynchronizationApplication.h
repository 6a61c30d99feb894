#pragma once

#include "service/ErrorShowingApplication.h"

#include <QApplication>

// The application object of the window.
using SynchronizationApplication = ErrorShowingApplication<QApplication>;
