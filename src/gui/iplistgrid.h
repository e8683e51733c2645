#pragma once

#include <QTableWidget>

/// The list grid: a table with no headers that the user cannot edit directly
/// and that never takes the focus. Besides the moves of its current cell it
/// reports every mouse press on it and every scroll.
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
    void mousePressed();
    void scrolled();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
