#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QAction;
class QWidget;

/// The window's place in the desktop's notification area: the tray icon
/// with its tooltip " Corvane ", and the popup menu `mnu_1` with `mPopRestore`
/// ("&Restore") and `mPopExit` ("&Exit").
///
/// Tray events act only while the window is minimised: a left click or a
/// double-click asks for the window back, a right click opens the menu at
/// the pointer. While the window is not minimised every tray event, the
/// right click included, does nothing. The window itself decides what
/// restoring and exiting mean, through the two signals.
///
/// The tray's activation reasons stand for the tray mouse messages of the
/// classic notification area:
///   Trigger (left button released)     514
///   DoubleClick (left double-click)    515
///   Context (right button released)    517
///   MiddleClick (middle button)        520, ignored
///   Unknown                            0, ignored
class DesktopIntegration : public QObject
{
    Q_OBJECT

public:
    static constexpr int kLeftButtonUp = 514;
    static constexpr int kLeftDoubleClick = 515;
    static constexpr int kRightButtonUp = 517;
    static constexpr int kMiddleButtonUp = 520;

    explicit DesktopIntegration(QWidget *window, QObject *parent = nullptr);
    ~DesktopIntegration() override;

    /// The program's icon, for the tray and the window (32 x 32 and 16 x 16).
    QIcon icon() const;
    /// " Corvane ".
    QString toolTip() const;

    /// Whether the desktop has a notification area now. Without one the
    /// window must stay minimised rather than hide, or it could not come back.
    bool isTrayAvailable() const;
    /// Whether minimising should hide the window: only when the tray icon
    /// is there to bring it back and no modal window blocks its clicks.
    bool minimiseHidesWindow() const;

    /// Adds the icon to the notification area (nothing fails without one).
    void showTrayIcon();
    /// Takes the icon away again.
    void removeTrayIcon();
    bool isTrayIconShown() const;

    QMenu *menu() const;
    QAction *restoreAction() const;
    QAction *exitAction() const;

    /// The tray mouse message an activation reason stands for (see above).
    static int trayMouseMessage(QSystemTrayIcon::ActivationReason reason);

    /// Acts on one tray mouse message by the rules above.
    void handleTrayMessage(int message);

signals:
    /// The user asked, through the tray, for the window back.
    void restoreRequested();
    /// The user chose "&Exit" in the tray menu.
    void exitRequested();

private:
    QPointer<QWidget> m_window;
    QSystemTrayIcon *m_tray = nullptr;
    QPointer<QMenu> m_menu;
    QAction *m_restore = nullptr;
    QAction *m_exit = nullptr;
    QIcon m_icon;
};
