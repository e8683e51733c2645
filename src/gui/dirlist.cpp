#include "dirlist.h"

#include "folderaccess.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPathRole = Qt::UserRole;

QTreeWidgetItem *makeItem(const QString &text, const QString &path, const QIcon &icon)
{
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kPathRole, path);
    item->setIcon(0, icon);
    item->setToolTip(0, path);
    return item;
}

} // namespace

DirList::DirList(QWidget *parent)
    : QTreeWidget(parent)
    , m_path(u"/"_s)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIndentation(fontMetrics().horizontalAdvance(u"00"_s));
    connect(this, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { setPath(pathOf(item)); });
    rebuild();
}

QString DirList::path() const
{
    return m_path;
}

QString DirList::pathOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, kPathRole).toString() : QString();
}

bool DirList::setPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString wanted = QDir::cleanPath(QDir(m_path).absoluteFilePath(path));
    if (!canEnterFolder(wanted))
        return false;
    const bool changed = wanted != m_path;
    m_path = wanted;
    rebuild();
    if (changed)
        emit pathChanged(m_path);
    return true;
}

void DirList::refresh()
{
    rebuild();
}

void DirList::rebuild()
{
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    clear();

    QTreeWidgetItem *current = makeItem(u"/"_s, u"/"_s, openIcon);
    addTopLevelItem(current);
    QString walked;
    for (const QString &name : m_path.split(u'/', Qt::SkipEmptyParts)) {
        walked += u'/' + name;
        auto *item = makeItem(name, walked, openIcon);
        current->addChild(item);
        current = item;
    }

    const QFileInfoList folders = QDir(m_path).entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QFileInfo &folder : folders)
        current->addChild(makeItem(folder.fileName(), folder.absoluteFilePath(), closedIcon));

    expandAll();
    setCurrentItem(current);
    scrollToItem(current);
}

void DirList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Backspace && m_path != u"/") {
        setPath(u".."_s);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
