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

// A window manager puts its frame round a window when it maps it, so a window
// centred while it is being shown was measured without frame and caption.
// Once the window is exposed, the toolkit learns the frame from the window
// manager's notes, which may come a little after the exposure: the window is
// centred again as soon as its frame is known, or left alone after a second.
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

    static QString name() { return u"centreAgainWhenFramed"_s; }

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
        if (m_window->frameGeometry().size() == m_window->size())
            return false;
        finish();
        if (!m_window->isMinimized())
            CentreOnScreen(m_window);
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

void CentreOnScreen(QWidget *window)
{
    if (!window)
        return;
    QWidget *topLevel = window->window();
    const QScreen *screen =
        topLevel->screen() ? topLevel->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;

    const QRect area = screen->geometry();
    const QSize outer = topLevel->frameGeometry().size();
    const CentredPosition position =
        centredPosition(area.width(), area.height(), outer.width(), outer.height());
    // Whole pixels, the same way down on both axes.
    topLevel->move(area.left() + static_cast<int>(std::floor(position.left)),
                   area.top() + static_cast<int>(std::floor(position.top)));

    if (topLevel->windowHandle() && !topLevel->windowHandle()->isExposed() &&
        outer == topLevel->size() &&
        !topLevel->findChild<QObject *>(CentreAgainWhenFramed::name(), Qt::FindDirectChildrenOnly))
        new CentreAgainWhenFramed(topLevel);
}
