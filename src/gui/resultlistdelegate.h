#pragma once

#include <QList>
#include <QStyledItemDelegate>

class QFontMetrics;

/// Draws a tab-separated result line as columns: each field starts at the
/// next tab stop, as a classic list box with tab stops shows it. The item's
/// text stays the whole line; only the drawing splits it.
class ResultListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ResultListDelegate(QObject *parent = nullptr);

    /// Tab stops in dialog units (a quarter of the font's average character
    /// width), each rounded to a whole unit, halves to even.
    void setTabStops(const QList<qreal> &dialogUnits);
    QList<int> tabStops() const { return m_tabStops; }
    /// The width of every line in pixels: what the list scrolls over sideways.
    void setExtent(int pixels);
    int extent() const { return m_extent; }

    /// The stops in pixels for a font.
    QList<int> tabStopPixels(const QFontMetrics &metrics) const;
    /// Where each tab-separated field of @p line starts, in pixels from the
    /// start of the text.
    static QList<int> fieldPositions(const QString &line, const QFontMetrics &metrics,
                                     const QList<int> &stopPixels);
    /// Where text continues after a tab typed at pixel @p x: the first stop
    /// beyond x; past the last stop the stops go on at the distance between
    /// the last two (or the last stop's own width when there is one stop).
    static int nextTabStop(int x, const QList<int> &stops);
    /// Space left of the text inside an item.
    static constexpr int kTextMargin = 2;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QList<int> m_tabStops;
    int m_extent = 0;
};
