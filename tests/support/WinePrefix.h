#pragma once

#include <QList>
#include <QString>

#include <chrono>

#include <sys/types.h>

// A Wine prefix for tests, kept under the build folder by name: the first test that needs it
// makes it (Wine's first start takes seconds), later tests and runs reuse it. Constructing one
// also points this process's environment at it (WINEPREFIX, WINEDEBUG=-all), so Wine programs
// the test starts run there. The destructor stops the prefix's Wine server.
class WinePrefix {
public:
    explicit WinePrefix(const QString& name);
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    // False, with the reason in Problem(), when there is no Wine or the prefix cannot be made.
    bool IsUsable() const { return problem_.isEmpty(); }
    QString Problem() const { return problem_; }
    QString Path() const { return path_; }

    // The processes running in the prefix: those whose environment names it, Wine's server
    // and its helper processes included.
    QList<pid_t> Processes() const;
    // True once no process runs in the prefix; Wine's server lingers a few seconds after its
    // last program.
    bool WaitUntilIdle(std::chrono::milliseconds limit) const;

private:
    bool Make();
    bool RunWine(const QString& program, const QStringList& arguments);

    QString path_;
    QString problem_;
};
