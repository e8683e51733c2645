#include "resultlistdelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <cmath>

ResultListDelegate::ResultListDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{}

void ResultListDelegate::setTabStops(const QList<qreal> &dialogUnits)
{
    m_tabStops.clear();
    for (const qreal units : dialogUnits)
        m_tabStops.append(static_cast<int>(std::nearbyint(units)));
}

void ResultListDelegate::setExtent(int pixels)
{
    m_extent = qMax(0, pixels);
}

QList<int> ResultListDelegate::tabStopPixels(const QFontMetrics &metrics) const
{
    QList<int> pixels;
    for (const int units : m_tabStops)
        pixels.append(qRound(units * metrics.averageCharWidth() / 4.0));
    return pixels;
}

int ResultListDelegate::nextTabStop(int x, const QList<int> &stops)
{
    for (const int stop : stops) {
        if (stop > x)
            return stop;
    }
    if (stops.isEmpty())
        return x;
    const int last = stops.constLast();
    const int interval = stops.size() > 1 ? last - stops.at(stops.size() - 2) : last;
    if (interval <= 0)
        return x;
    return last + ((x - last) / interval + 1) * interval;
}

QList<int> ResultListDelegate::fieldPositions(const QString &line, const QFontMetrics &metrics,
                                              const QList<int> &stopPixels)
{
    QList<int> positions;
    int x = 0;
    qsizetype start = 0;
    for (;;) {
        positions.append(x);
        const qsizetype tab = line.indexOf(u'\t', start);
        if (tab < 0)
            break;
        x = nextTabStop(x + metrics.horizontalAdvance(line.mid(start, tab - start)), stopPixels);
        start = tab + 1;
    }
    return positions;
}

void ResultListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString line = opt.text;
    opt.text.clear();
    const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const QFontMetrics metrics(opt.font);
    const QList<int> positions = fieldPositions(line, metrics, tabStopPixels(metrics));
    const QStringList fields = line.split(u'\t');
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                            : QPalette::Inactive;
    const QPalette::ColorRole role =
        (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;

    painter->save();
    painter->setClipRect(opt.rect);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, role));
    const int left = opt.rect.left() + kTextMargin;
    for (qsizetype i = 0; i < fields.size() && i < positions.size(); ++i) {
        const int x = left + positions.at(i);
        if (x >= opt.rect.right())
            break;
        const QRect box(x, opt.rect.top(), opt.rect.right() - x + 1, opt.rect.height());
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, fields.at(i));
    }
    painter->restore();
}

QSize ResultListDelegate::sizeHint(const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (m_extent > 0)
        size.setWidth(m_extent);
    return size;
}
