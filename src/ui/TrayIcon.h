#pragma once

#include <QMenu>
#include <QObject>
#include <QStyle>
#include <QSystemTrayIcon>

#include <functional>

class QAction;
class QWidget;
class TSynchronization_Service;

enum class TrayOperation { Add, Delete };

// The main window's life in the notification area: minimising sends the window to the tray,
// the icon and its menu bring it back. At most one icon exists, and only while the window is
// in the tray. Where no tray is available the window only minimises, so it can always come
// back from the taskbar.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    using TrayAvailable = std::function<bool()>;

    TrayIcon(QWidget* window, TSynchronization_Service& service,
             TrayAvailable trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable);

    // Shows or removes the icon; the window calls Delete once the exit is confirmed.
    void SetTrayIcon(TrayOperation operation);
    void RestoreFromTray();
    bool IconShown() const { return icon_.isVisible(); }
    QSystemTrayIcon& Icon() { return icon_; }
    QMenu& Menu() { return pmTreyMenu_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddItem(const QString& name, const QString& caption, QStyle::StandardPixmap icon,
                     bool visible);
    void SendToTray();
    void IconActivated(QSystemTrayIcon::ActivationReason reason);

    QWidget* window_;
    TSynchronization_Service& service_;
    TrayAvailable trayAvailable_;
    QMenu pmTreyMenu_;
    QSystemTrayIcon icon_;
};
