#include "service/HeadlessPrompts.h"

#include "platform/Clock.h"
#include "platform/RegionalSettings.h"
#include "platform/TextCodec.h"
#include "service/JournalStream.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {
const QString kLogLineEnd = QStringLiteral("\r\n");
const QString kSystemBoxCaption = QStringLiteral("Сервис синхронизаций");

JournalStream::Priority PriorityOf(DialogKind kind) {
    switch (kind) {
    case DialogKind::Error:
        return JournalStream::Error;
    case DialogKind::Warning:
        return JournalStream::Warning;
    default:
        return JournalStream::Information;
    }
}

// The lines of a box's text are separated by carriage returns; a file wants whole lines.
QStringList TextLines(const QString& text) {
    return text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
}
} // namespace

HeadlessPrompts::HeadlessPrompts(QString programFolder, const Clock& clock, std::FILE* errorStream)
    : programFolder_(std::move(programFolder))
    , clock_(clock)
    , errorStream_(errorStream) {}

DialogButton HeadlessPrompts::MessageDlg(const QString& text, DialogKind kind,
                                         const DialogButtons& buttons) {
    return Report(PriorityOf(kind), DialogTitle(kind), text, buttons);
}

DialogButton HeadlessPrompts::SystemMessageBox(const QString& text, const DialogButtons& buttons) {
    return Report(JournalStream::Warning, kSystemBoxCaption, text, buttons);
}

DialogButton HeadlessPrompts::DefaultAnswer(const DialogButtons& buttons) {
    for (DialogButton refusal : {DialogButton::No, DialogButton::Cancel})
        if (buttons.contains(refusal))
            return refusal;
    return buttons.isEmpty() ? DialogButton::Ok : buttons.first();
}

QString HeadlessPrompts::LogPath() const {
    return QDir(programFolder_).filePath(QStringLiteral("Log/Logs.txt"));
}

DialogButton HeadlessPrompts::Report(int priority, const QString& title, const QString& text,
                                     const DialogButtons& buttons) {
    const QStringList lines = TextLines(text);
    AppendToLog(title, lines);
    const QString message =
        JournalStream::Prefixed(JournalStream::Priority(priority),
                                title + QStringLiteral(": ") + lines.join(u'\n'), errorStream_) +
        u'\n';
    std::fputs(message.toLocal8Bit().constData(), errorStream_);
    std::fflush(errorStream_);
    return DefaultAnswer(buttons);
}

void HeadlessPrompts::AppendToLog(const QString& title, const QStringList& lines) const {
    QDir(programFolder_).mkdir(QStringLiteral("Log"));
    QFile file(LogPath());
    // A log that cannot be written leaves standard error as the only record.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString entry = RegionalSettings::DateTimeToText(clock_.Now()) + QStringLiteral("  ") +
                          title + QStringLiteral(": ") + lines.join(kLogLineEnd) + kLogLineEnd;
    file.write(TextCodec::EncodeFileText(entry));
}
