#pragma once

#include <QStringList>

// Runs this program again with the given arguments and takes what the run reports on its
// standard output together with the run's own peak resident memory.
class MeasuredChild {
public:
    struct Figures {
        double elapsedMs = 0;
        double cpuMs = 0;
        double peakMiB = 0;
        double updateMs = 0;
        // Chunks the client sent through the delaying forwarder (a request may take more than
        // one); 0 without one.
        double requests = 0;
    };

    // The child prints its elapsed time, its CPU time and the time of its update phase in
    // milliseconds as the last line of its output; throws std::runtime_error when it fails.
    static Figures Run(const QStringList& arguments);

private:
    // The path this program was started by, so that a run under valgrind traces its children.
    static QByteArray ProgramPath();
};
