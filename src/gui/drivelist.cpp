#include "drivelist.h"

#include <QDir>
#include <QMap>
#include <QStorageInfo>

using namespace Qt::StringLiterals;

namespace {

QString normalisedDrive(const QString &drive)
{
    if (drive.isEmpty())
        return {};
    return QDir::cleanPath(drive);
}

} // namespace

DriveList::DriveList(QWidget *parent)
    : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    refresh();
    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit driveChanged(drive()); });
}

QString DriveList::drive() const
{
    const QString chosen = currentData().toString();
    return chosen.isEmpty() ? u"/"_s : chosen;
}

QStringList DriveList::drives() const
{
    QStringList list;
    for (int i = 0; i < count(); ++i)
        list.append(itemData(i).toString());
    return list;
}

bool DriveList::setDrive(const QString &drive)
{
    const QString wanted = normalisedDrive(drive);
    int index = findData(wanted);
    if (index < 0 && !wanted.isEmpty()) {
        // It may have been mounted since the list was read.
        refresh();
        index = findData(wanted);
    }
    if (index < 0)
        return false;
    setCurrentIndex(index);
    return true;
}

void DriveList::refresh()
{
    // Later entries for the same mount point hide the earlier ones, as the
    // mount table does.
    QMap<QString, QString> labels;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid())
            continue;
        const QString label =
            volume.name().isEmpty() ? QString::fromLocal8Bit(volume.device()) : volume.name();
        labels.insert(normalisedDrive(volume.rootPath()), label);
    }
    if (!labels.contains(u"/"_s))
        labels.insert(u"/"_s, QString());

    const QString chosen = currentData().toString();
    QSignalBlocker blocker(this);
    clear();
    addItem(labels.value(u"/"_s).isEmpty() ? u"/"_s : u"/  [%1]"_s.arg(labels.value(u"/"_s)),
            u"/"_s);
    for (auto it = labels.cbegin(); it != labels.cend(); ++it) {
        if (it.key() == u"/")
            continue;
        addItem(it.value().isEmpty() ? it.key() : u"%1  [%2]"_s.arg(it.key(), it.value()),
                it.key());
    }
    const int index = findData(chosen);
    setCurrentIndex(index < 0 ? 0 : index);
    if (!chosen.isEmpty() && index < 0) {
        blocker.unblock();
        emit driveChanged(drive());
    }
}

void DriveList::showPopup()
{
    refresh();
    QComboBox::showPopup();
}
