#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The registration file that takes the place of the system's class registry: a profile file
// with one section per ProgID (names match without letter case), holding
//   Program=<path relative to the file's folder, or absolute; a bare name that is no file
//           there is looked up on PATH>
//   Arguments=<blank-separated arguments; double quotes keep blanks in one argument>
// As with every profile value, one pair of quotes around the whole value is dropped.
class AutomationRegistry {
public:
    struct Server {
        QString program; // absolute path
        QStringList arguments;
    };

    explicit AutomationRegistry(QString path);

    // Nothing when the file is missing or does not name the ProgID.
    std::optional<Server> Find(const QString& progId) const;

private:
    QString path_;
};
