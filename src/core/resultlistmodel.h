#pragma once

#include <QAbstractListModel>
#include <QStringList>

/// The lines of the result list: one row per line, its text as display role.
/// Rows are only ever added at the end or all dropped at once.
class ResultListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void appendLines(const QStringList &lines);
    void clear();
    const QStringList &lines() const { return m_lines; }

private:
    QStringList m_lines;
};
