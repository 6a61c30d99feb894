#include "BenchEnvironment.h"

#include "platform/MainThreadHandOver.h"

ServiceEnvironment BenchEnvironment(const QString& programFolder, std::shared_ptr<Clock> clock,
                                    Prompts& prompts, WindowLink& window) {
    ServiceEnvironment environment;
    environment.ProgramFolder = programFolder;
    environment.TimeSource = std::move(clock);
    environment.HandOver = std::make_shared<MainThreadHandOver>();
    environment.OperatorPrompts = &prompts;
    environment.Window = &window;
    return environment;
}
