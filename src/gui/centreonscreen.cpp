#include "centreonscreen.h"

#include "centring.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The frame round the window as the window system last reported it. The
// widget keeps a copy of its own that is refreshed only when the window
// moves or resizes, so the window's is asked.
QMargins frameMargins(const QWidget *window)
{
    if (const QWindow *handle = window->windowHandle())
        return handle->frameMargins();
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

// While a window manager is still building its frame, the margins read as
// none at all, or even as negative.
bool isFrameKnown(const QMargins &margins)
{
    return !margins.isNull() && margins.left() >= 0 && margins.top() >= 0 && margins.right() >= 0 &&
           margins.bottom() >= 0;
}

// A window manager puts its frame round a window when it maps it, so a window
// centred while it is being shown was measured without frame and caption.
// The frame becomes known at the window's exposure or a little after it: the
// window is centred again as soon as it is, or left alone after a second.
class CentreAgainWhenFramed : public QObject
{
public:
    explicit CentreAgainWhenFramed(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        setObjectName(name());
        window->windowHandle()->installEventFilter(this);
    }

    static QString name() { return u"CentreAgainWhenFramed"_s; }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide) {
            finish();
        } else if (event->type() == QEvent::Expose && m_timer == 0 &&
                   static_cast<QWindow *>(watched)->isExposed()) {
            if (!centreIfFramed())
                m_timer = startTimer(kPollMs);
        }
        return false;
    }

protected:
    void timerEvent(QTimerEvent *) override
    {
        if (!centreIfFramed() && ++m_polls >= kPolls)
            finish();
    }

private:
    static constexpr int kPollMs = 20;
    static constexpr int kPolls = 50;

    bool centreIfFramed()
    {
        if (!isFrameKnown(frameMargins(m_window)))
            return false;
        finish();
        if (!m_window->isMinimized())
            centreOnScreen(m_window);
        return true;
    }

    void finish()
    {
        if (m_timer > 0)
            killTimer(m_timer);
        m_timer = -1;
        if (QWindow *handle = m_window->windowHandle())
            handle->removeEventFilter(this);
        deleteLater();
    }

    QWidget *m_window;
    int m_timer = 0;
    int m_polls = 0;
};

} // namespace

void centreOnScreen(QWidget *window)
{
    if (!window)
        return;
    QWidget *topLevel = window->window();
    const QScreen *screen =
        topLevel->screen() ? topLevel->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;

    const QRect area = screen->geometry();
    const QMargins margins = frameMargins(topLevel);
    const QSize outer = topLevel->size().grownBy(margins);
    const CentredPosition position =
        centredPosition(area.width(), area.height(), outer.width(), outer.height());
    // Whole pixels, the same way down on both axes. The window is placed by
    // its client area, which needs no frame arithmetic from the toolkit.
    const QPoint frameTopLeft(area.left() + static_cast<int>(std::floor(position.left)),
                              area.top() + static_cast<int>(std::floor(position.top)));
    topLevel->setGeometry(
        QRect(frameTopLeft + QPoint(margins.left(), margins.top()), topLevel->size()));

    const QWindow *handle = topLevel->windowHandle();
    if (handle && !handle->isExposed() && !isFrameKnown(margins) &&
        !topLevel->findChild<QObject *>(CentreAgainWhenFramed::name(), Qt::FindDirectChildrenOnly))
        new CentreAgainWhenFramed(topLevel);
}
