#pragma once

#include <QTreeWidget>

/// The log folder list: the current folder with its ancestors above it, in
/// the classic folder-list way, and its subfolders below it. Double-click or
/// Enter on a folder opens it; Backspace opens the parent. Paths are
/// absolute and "/"-separated, without a trailing "/" (except the root).
class DirList : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DirList(QWidget *parent = nullptr);

    /// The current folder.
    QString path() const;
    /// Makes @p path (absolute, or relative to the current folder) the
    /// current folder. False, and nothing changes, when it is not a folder
    /// that can be listed and entered.
    bool setPath(const QString &path);
    /// Reads the current folder's subfolders again.
    void refresh();

    /// The full path an entry of the list stands for.
    static QString pathOf(const QTreeWidgetItem *item);

signals:
    void pathChanged(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void rebuild();

    QString m_path;
};
