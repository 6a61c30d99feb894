#include "ui/TrayIcon.h"

#include "service/TSynchronization_Service.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QStyle>
#include <QWidget>

TrayIcon::TrayIcon(QWidget* window, TSynchronization_Service& service, TrayAvailable trayAvailable)
    : QObject(window)
    , window_(window)
    , service_(service)
    , trayAvailable_(std::move(trayAvailable))
    , icon_(this) {
    pmTreyMenu_.setObjectName(QStringLiteral("pmTreyMenu"));
    connect(
        AddItem(QStringLiteral("N1"), QStringLiteral("Запустить"), QStyle::SP_MediaPlay, false),
        &QAction::triggered, this, [this] { service_.StartAllConnections(); });
    connect(
        AddItem(QStringLiteral("N2"), QStringLiteral("Остановить"), QStyle::SP_MediaStop, false),
        &QAction::triggered, this, [this] { service_.StopAllConnections(); });
    pmTreyMenu_.addSeparator()->setObjectName(QStringLiteral("N3"));
    pmTreyMenu_.actions().last()->setVisible(false);
    connect(AddItem(QStringLiteral("N4"), QStringLiteral("Открыть"),
                    QStyle::SP_TitleBarNormalButton, true),
            &QAction::triggered, this, &TrayIcon::RestoreFromTray);
    // Closing runs the window's exit question; No leaves the window in the tray.
    connect(
        AddItem(QStringLiteral("N5"), QStringLiteral("Выход"), QStyle::SP_DialogCloseButton, true),
        &QAction::triggered, window_, &QWidget::close);

    QIcon icon = window_->windowIcon();
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_BrowserReload);
    icon_.setIcon(icon);
    icon_.setToolTip(QStringLiteral("Сервис синхронизаций"));
    icon_.setContextMenu(&pmTreyMenu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::IconActivated);
    window_->installEventFilter(this);
}

QAction* TrayIcon::AddItem(const QString& name, const QString& caption, QStyle::StandardPixmap icon,
                           bool visible) {
    QAction* item = pmTreyMenu_.addAction(QApplication::style()->standardIcon(icon), caption);
    item->setObjectName(name);
    item->setVisible(visible);
    return item;
}

void TrayIcon::SetTrayIcon(TrayOperation operation) {
    icon_.setVisible(operation == TrayOperation::Add);
}

void TrayIcon::RestoreFromTray() {
    SetTrayIcon(TrayOperation::Delete);
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void TrayIcon::SendToTray() {
    if (window_->isMinimized() && window_->isVisible()) {
        SetTrayIcon(TrayOperation::Add);
        window_->hide();
    }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::WindowStateChange &&
        window_->isMinimized() && trayAvailable_()) {
        // Hidden once the state change is through, so the platform sees a finished minimise.
        QMetaObject::invokeMethod(this, &TrayIcon::SendToTray, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void TrayIcon::IconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        RestoreFromTray();
}
