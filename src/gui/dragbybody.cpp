#include "dragbybody.h"

#include "centreonscreen.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

DragByBody::DragByBody(QObject *parent)
    : QObject(parent)
{}

void DragByBody::watch(QWidget *area)
{
    if (area)
        area->installEventFilter(this);
}

// A press that a child ignored reaches its parent too; only one on the
// area itself (where no other widget lies) counts.
bool DragByBody::isBodyPress(QWidget *area, const QMouseEvent *event) const
{
    return event->button() == Qt::LeftButton &&
           !area->childAt(area->mapFromGlobal(event->globalPosition().toPoint()));
}

bool DragByBody::eventFilter(QObject *watched, QEvent *event)
{
    auto *area = qobject_cast<QWidget *>(watched);
    if (!area)
        return false;

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!isBodyPress(area, mouse))
            return false;
        m_window = area->window();
        m_pressPosition = mouse->globalPosition().toPoint();
        m_windowStart = m_window->pos();
        m_pressed = true;
        m_moving = false;
        return true;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_pressed || !m_window || !(mouse->buttons() & Qt::LeftButton))
            return false;
        const QPoint now = mouse->globalPosition().toPoint();
        if (!m_moving &&
            (now - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
            return true;
        if (!m_moving) {
            m_moving = true;
            // The window manager moves the window from here on, as for a
            // title bar; where it cannot, the window follows the mouse.
            QWindow *handle = m_window->windowHandle();
            if (handle && handle->startSystemMove()) {
                m_pressed = false;
                return true;
            }
        }
        dragTo(now);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!m_pressed || static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return false;
        m_pressed = false;
        m_moving = false;
        return true;
    case QEvent::MouseButtonDblClick:
        if (!isBodyPress(area, static_cast<QMouseEvent *>(event)))
            return false;
        m_pressed = false;
        m_moving = false;
        centreOnScreen(area->window());
        return true;
    default:
        return false;
    }
}

void DragByBody::dragTo(const QPoint &globalPosition)
{
    if (m_window)
        m_window->move(m_windowStart + (globalPosition - m_pressPosition));
}
