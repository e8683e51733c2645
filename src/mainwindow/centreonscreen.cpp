#include "centreonscreen.h"

#include "centring.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

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
}
