#include "ui/HelpTopics.h"

#include "platform/Prompts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

HelpTopics::HelpTopics(const QString& helpFolder, Prompts& prompts)
    : helpFolder_(helpFolder)
    , prompts_(prompts) {}

QString HelpTopics::DefaultFolder() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help"));
}

QUrl HelpTopics::TopicUrl(int context) const {
    return QUrl::fromLocalFile(
        QDir(helpFolder_).absoluteFilePath(QString::number(context) + QStringLiteral(".html")));
}

bool HelpTopics::ShowTopic(int context) {
    const QUrl url = TopicUrl(context);
    const QString path = QDir::toNativeSeparators(url.toLocalFile());
    if (!QFileInfo(url.toLocalFile()).isFile()) {
        prompts_.MessageDlg(QStringLiteral("Не найдена страница справки %1 (раздел %2).")
                                .arg(path, QString::number(context)),
                            DialogKind::Warning, {DialogButton::Yes});
        return false;
    }
    if (!QDesktopServices::openUrl(url)) {
        prompts_.MessageDlg(QStringLiteral("Не удалось открыть страницу справки %1.").arg(path),
                            DialogKind::Warning, {DialogButton::Yes});
        return false;
    }
    return true;
}
