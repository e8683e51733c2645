#include "centreonscreen.h"

#include "centring.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// A window manager puts its frame round a window only when the window is
// mapped, so a window centred while it is being shown was measured without
// frame and caption. It is measured again at its first paint, when the frame
// is known, and centred once more if the frame changed its outer size.
class CentreAgainWhenFramed : public QObject
{
public:
    CentreAgainWhenFramed(QWidget *window, QSize measured)
        : QObject(window)
        , m_measured(measured)
    {
        setObjectName(name());
        window->installEventFilter(this);
    }

    static QString name() { return u"centreAgainWhenFramed"_s; }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            auto *window = static_cast<QWidget *>(watched);
            window->removeEventFilter(this);
            deleteLater();
            if (!window->isMinimized() && window->frameGeometry().size() != m_measured)
                CentreOnScreen(window);
        }
        return false;
    }

private:
    QSize m_measured;
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

    if (!topLevel->testAttribute(Qt::WA_Mapped) &&
        !topLevel->findChild<QObject *>(CentreAgainWhenFramed::name(), Qt::FindDirectChildrenOnly))
        new CentreAgainWhenFramed(topLevel, outer);
}
