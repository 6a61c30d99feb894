#pragma once

#include "service/ServiceEnvironment.h"

#include <memory>

class Clock;
class Prompts;
class WindowLink;

// What the service needs to run on a program folder with the system's clock, the given
// prompts and window, and the workers' steps handed to the main thread.
ServiceEnvironment BenchEnvironment(const QString& programFolder, std::shared_ptr<Clock> clock,
                                    Prompts& prompts, WindowLink& window);
