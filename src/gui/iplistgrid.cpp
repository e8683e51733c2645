#include "iplistgrid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

IpListGrid::IpListGrid(QWidget *parent)
    : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &IpListGrid::scrolled);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &IpListGrid::scrolled);
}

QString IpListGrid::cellText(int row, int column) const
{
    const QTableWidgetItem *cell = item(row, column);
    return cell ? cell->text() : QString();
}

void IpListGrid::setCellText(int row, int column, const QString &text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    if (QTableWidgetItem *cell = item(row, column))
        cell->setText(text);
    else
        setItem(row, column, new QTableWidgetItem(text));
}

QRect IpListGrid::cellRect(int row, int column, const QWidget *widget) const
{
    const QRect inViewport = visualRect(model()->index(row, column));
    return QRect(viewport()->mapTo(widget, inViewport.topLeft()), inViewport.size());
}

void IpListGrid::mousePressEvent(QMouseEvent *event)
{
    QTableWidget::mousePressEvent(event);
    emit mousePressed();
}
