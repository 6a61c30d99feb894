#pragma once

#include <QString>
#include <QUrl>

class Prompts;

// The help shipped with the program: one HTML page per context number in a folder "help"
// beside the executable, opened in the system browser.
class HelpTopics {
public:
    HelpTopics(const QString& helpFolder, Prompts& prompts);

    // The folder "help" beside the executable.
    static QString DefaultFolder();

    QUrl TopicUrl(int context) const;
    // Opens the page of the topic; a missing page or a browser that does not start is told
    // to the operator. False when the page was not opened.
    bool ShowTopic(int context);

private:
    QString helpFolder_;
    Prompts& prompts_;
};
