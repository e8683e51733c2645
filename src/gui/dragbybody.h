#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QMouseEvent;
class QWidget;

/// Lets the user move a window by its body. Installed as an event filter on
/// the window's background and on chosen child widgets (a frame, labels):
/// pressing the left button there and moving the mouse drags the window, as
/// its title bar would; a left double-click there centres it
/// (centreOnScreen). Other buttons do nothing, and presses on any other
/// widget (buttons, fields, lists, also ones that are disabled) are left alone.
class DragByBody : public QObject
{
    Q_OBJECT

public:
    explicit DragByBody(QObject *parent = nullptr);

    /// Installs this filter on @p area.
    void watch(QWidget *area);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isBodyPress(QWidget *area, const QMouseEvent *event) const;
    void dragTo(const QPoint &globalPosition);

    QPointer<QWidget> m_window;
    QPoint m_pressPosition;
    QPoint m_windowStart;
    bool m_pressed = false;
    bool m_moving = false;
};
