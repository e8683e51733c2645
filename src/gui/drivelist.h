#pragma once

#include <QComboBox>

/// The log drive list: the mounted file systems, the root "/" first, each
/// shown as its mount point with its label or device. The "drive" is the
/// mount point, "/"-separated, without a trailing "/" (except the root).
class DriveList : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveList(QWidget *parent = nullptr);

    /// The mount point of the chosen entry ("/" when nothing is listed).
    QString drive() const;
    /// Chooses the entry whose mount point is @p drive; false, and nothing
    /// changes, when no mounted file system has that mount point.
    bool setDrive(const QString &drive);
    /// The mount points listed, in list order.
    QStringList drives() const;

    /// Reads the mounted file systems again, keeping the chosen one while it
    /// is mounted, otherwise going back to "/".
    void refresh();

    void showPopup() override;

signals:
    /// The chosen drive changed, by the user or by setDrive().
    void driveChanged(const QString &drive);
};
