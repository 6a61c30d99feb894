#include "ui/SynchronizationApplication.h"
#include "platform/Errors.h"
#include "support/ScriptedPrompts.h"

#include <QTest>
#include <QTimer>

namespace {
// Fails in its event handler the way a table does when a post goes wrong.
class FailingReceiver : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            throw Exception(QStringLiteral("Unable to write to /x/Corvane.ini"));
        return QObject::event(event);
    }
};
} // namespace

class SynchronizationApplicationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void errorOfAnEventHandlerIsShownAndTheProgramGoesOn() {
        auto* application = dynamic_cast<SynchronizationApplication*>(qApp);
        QVERIFY(application);
        ScriptedPrompts prompts;
        application->SetPrompts(&prompts);
        FailingReceiver receiver;
        QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        bool ranAfterwards = false;
        QTimer::singleShot(0, [&] { ranAfterwards = true; });
        QTRY_VERIFY(ranAfterwards);
        QCOMPARE(prompts.Texts(), QStringList{QStringLiteral("Unable to write to /x/Corvane.ini")});
        application->SetPrompts(nullptr);
    }
};

int main(int argc, char** argv) {
    SynchronizationApplication application(argc, argv);
    SynchronizationApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SynchronizationApplicationTest.moc"
