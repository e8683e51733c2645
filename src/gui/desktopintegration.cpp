#include "desktopintegration.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// A radar face: a dark disc, two rings and a sweep line with a dot where it
// found an answer.
QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face(0.5, 0.5, size - 1.0, size - 1.0);
    const QPointF centre = face.center();
    const double radius = face.width() / 2.0;

    painter.setPen(QPen(QColor(0, 64, 32), 1.0));
    painter.setBrush(QColor(0, 96, 48));
    painter.drawEllipse(face);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(96, 224, 128), size >= 32 ? 1.5 : 1.0));
    painter.drawEllipse(centre, radius * 0.62, radius * 0.62);
    painter.drawEllipse(centre, radius * 0.25, radius * 0.25);
    painter.drawLine(centre, centre + QPointF(radius * 0.7, -radius * 0.7));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 240, 96));
    painter.drawEllipse(centre + QPointF(radius * 0.35, radius * 0.3), radius * 0.16,
                        radius * 0.16);
    return pixmap;
}

// Qt on X11 learns that a window which has just been hidden lost the focus
// only a moment later (it waits for a focus change within the program), and
// then closes every popup of the program. A menu asked for in that moment
// opens once the loss is known, or after a second at the latest, so that it
// stays open.
void popupOnceFocusSettles(QMenu *menu, QPoint at)
{
    const QWindow *focus = QGuiApplication::focusWindow();
    if (QGuiApplication::platformName() != u"xcb" || !focus || focus->isVisible()) {
        menu->popup(at);
        return;
    }
    auto *wait = new QTimer(menu);
    wait->setSingleShot(true);
    const auto open = [menu, wait, at] {
        QObject::disconnect(qGuiApp, nullptr, wait, nullptr);
        wait->stop();
        wait->deleteLater();
        menu->popup(at);
    };
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, wait, open);
    QObject::connect(wait, &QTimer::timeout, wait, open);
    wait->start(1000);
}

} // namespace

DesktopIntegration::DesktopIntegration(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    // The tray shows the window's own icon; the drawn face serves only where
    // the program has none (tests, a damaged installation).
    m_icon = window ? window->windowIcon() : QIcon();
    if (m_icon.isNull()) {
        m_icon.addPixmap(drawIcon(32));
        m_icon.addPixmap(drawIcon(16));
    }

    m_menu = new QMenu(u"&Options"_s, window);
    m_menu->setObjectName(u"mnu_1"_s);
    m_restore = m_menu->addAction(u"&Restore"_s);
    m_restore->setObjectName(u"mPopRestore"_s);
    m_exit = m_menu->addAction(u"&Exit"_s);
    m_exit->setObjectName(u"mPopExit"_s);
    connect(m_restore, &QAction::triggered, this, &DesktopIntegration::restoreRequested);
    connect(m_exit, &QAction::triggered, this, &DesktopIntegration::exitRequested);

    // No context menu is handed to the tray icon: the platform would show it
    // on every right click, also while the window is shown.
    m_tray = new QSystemTrayIcon(m_icon, this);
    m_tray->setToolTip(toolTip());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                handleTrayMessage(trayMouseMessage(reason));
            });
}

DesktopIntegration::~DesktopIntegration()
{
    m_tray->hide();
    // The menu belongs to the window and goes with it; without one it is ours.
    if (m_menu && !m_menu->parent())
        delete m_menu;
}

QIcon DesktopIntegration::icon() const
{
    return m_icon;
}

QString DesktopIntegration::toolTip() const
{
    return u" Corvane "_s;
}

bool DesktopIntegration::isTrayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool DesktopIntegration::minimiseHidesWindow() const
{
    // A modal window keeps every click on the tray icon from the program, so
    // while one is open the window stays minimised, within the taskbar's reach.
    return isTrayAvailable() && m_tray->isVisible() && !QApplication::activeModalWidget();
}

void DesktopIntegration::showTrayIcon()
{
    m_tray->show();
}

void DesktopIntegration::removeTrayIcon()
{
    m_tray->hide();
}

bool DesktopIntegration::isTrayIconShown() const
{
    return m_tray->isVisible();
}

QMenu *DesktopIntegration::menu() const
{
    return m_menu;
}

QAction *DesktopIntegration::restoreAction() const
{
    return m_restore;
}

QAction *DesktopIntegration::exitAction() const
{
    return m_exit;
}

int DesktopIntegration::trayMouseMessage(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return kLeftButtonUp;
    case QSystemTrayIcon::DoubleClick:
        return kLeftDoubleClick;
    case QSystemTrayIcon::Context:
        return kRightButtonUp;
    case QSystemTrayIcon::MiddleClick:
        return kMiddleButtonUp;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return 0;
}

void DesktopIntegration::handleTrayMessage(int message)
{
    if (!m_window || !m_window->isMinimized())
        return;
    switch (message) {
    case kLeftButtonUp:
    case kLeftDoubleClick:
        emit restoreRequested();
        break;
    case kRightButtonUp:
        // The window stays hidden; the menu closes by itself when the user
        // clicks elsewhere.
        popupOnceFocusSettles(m_menu, QCursor::pos());
        break;
    default:
        break;
    }
}
