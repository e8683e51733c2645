#pragma once

#include <QTableWidget>

/// The list grid: a table with no headers that the user cannot edit directly
/// and that never takes the focus. It reports the moves of its current cell
/// as a pair of events, leaving the old cell and entering the new one, for
/// moves made from code just as for the user's.
class IpListGrid : public QTableWidget
{
    Q_OBJECT
public:
    explicit IpListGrid(QWidget *parent = nullptr);

    /// The text of a cell; the empty text for a cell that holds nothing.
    QString cellText(int row, int column) const;
    /// Sets a cell's text, creating its item when needed.
    void setCellText(int row, int column, const QString &text);

    /// The cell's rectangle in the coordinates of @p widget.
    QRect cellRect(int row, int column, const QWidget *widget) const;

signals:
    void cellLeft(int row, int column);
    void cellEntered(int row, int column);
    void mousePressed(Qt::MouseButton button);
    void scrolled();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void mousePressEvent(QMouseEvent *event) override;
};
