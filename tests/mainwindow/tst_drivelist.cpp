#include "drivelist.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The mount cases mount small tmpfs file systems inside a mount namespace
// this process makes for itself, so the machine's own mounts never change.
class TestDriveList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void rootComesFirst();
    void listsTheMountedFileSystems();
    void setDrive_data();
    void setDrive();
    void newMountIsFoundBySetDrive();
    void entryShowsMountPointAndLabel();
    void choosingWithTheKeyboardAnnounces();
    void unmountedDriveFallsBackToRoot();

private:
    bool mountTmpfs(const QString &where, const QString &source);

    bool m_canMount = false;
    QTemporaryDir m_root;
    QStringList m_mounted;
};

void TestDriveList::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_canMount = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

void TestDriveList::cleanup()
{
    for (const QString &where : std::as_const(m_mounted))
        umount2(QFile::encodeName(where).constData(), MNT_DETACH);
    m_mounted.clear();
}

bool TestDriveList::mountTmpfs(const QString &where, const QString &source)
{
    if (!QDir().mkpath(where))
        return false;
    if (mount(QFile::encodeName(source).constData(), QFile::encodeName(where).constData(), "tmpfs",
              0, "size=64k") != 0)
        return false;
    m_mounted.append(where);
    return true;
}

void TestDriveList::rootComesFirst()
{
    DriveList list;
    QVERIFY(!list.drives().isEmpty());
    QCOMPARE(list.drives().constFirst(), u"/"_s);
    QCOMPARE(list.drive(), u"/"_s);
    QCOMPARE(list.currentIndex(), 0);
}

void TestDriveList::listsTheMountedFileSystems()
{
    DriveList list;
    QStringList expected;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && !expected.contains(QDir::cleanPath(volume.rootPath())))
            expected.append(QDir::cleanPath(volume.rootPath()));
    }
    QStringList listed = list.drives();
    listed.sort();
    expected.sort();
    QCOMPARE(listed, expected);
    for (const QString &drive : std::as_const(listed))
        QVERIFY2(QFileInfo(drive).isDir(), qPrintable(drive));
}

void TestDriveList::setDrive_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("root") << u"/"_s << true;
    QTest::newRow("mount point") << u"@mnt"_s << true;
    QTest::newRow("mount point with trailing slash") << u"@mnt/"_s << true;
    QTest::newRow("folder inside a mount point") << u"@mnt/inner"_s << false;
    QTest::newRow("folder that is no mount point") << u"@plain"_s << false;
    QTest::newRow("missing folder") << u"@missing"_s << false;
    QTest::newRow("empty text") << QString() << false;
    QTest::newRow("drive letter") << u"c:\\"_s << false;
}

void TestDriveList::setDrive()
{
    QFETCH(QString, drive);
    QFETCH(bool, chosen);
    if (!m_canMount)
        QSKIP("mounting needs root and mount namespaces");
    const QString mountPoint = m_root.path() + u"/mnt"_s;
    QVERIFY(mountTmpfs(mountPoint, u"corvane-a"_s));
    QVERIFY(QDir().mkpath(mountPoint + u"/inner"_s));
    QVERIFY(QDir().mkpath(m_root.path() + u"/plain"_s));
    if (drive.startsWith(u'@'))
        drive = m_root.path() + u'/' + drive.mid(1);

    DriveList list;
    QVERIFY(list.setDrive(mountPoint));
    QVERIFY(list.setDrive(u"/"_s));
    QSignalSpy changed(&list, &DriveList::driveChanged);
    QCOMPARE(list.setDrive(drive), chosen);
    const QString expected = chosen ? QDir::cleanPath(drive) : u"/"_s;
    QCOMPARE(list.drive(), expected);
    QCOMPARE(changed.size(), expected == u"/" ? 0 : 1);
}

void TestDriveList::newMountIsFoundBySetDrive()
{
    if (!m_canMount)
        QSKIP("mounting needs root and mount namespaces");
    DriveList list;
    const QString mountPoint = m_root.path() + u"/later"_s;
    QVERIFY(!list.drives().contains(mountPoint));
    QVERIFY(mountTmpfs(mountPoint, u"corvane-later"_s));

    QSignalSpy changed(&list, &DriveList::driveChanged);
    QVERIFY(list.setDrive(mountPoint));
    QCOMPARE(list.drive(), mountPoint);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), mountPoint);
}

void TestDriveList::entryShowsMountPointAndLabel()
{
    if (!m_canMount)
        QSKIP("mounting needs root and mount namespaces");
    const QString mountPoint = m_root.path() + u"/labelled"_s;
    QVERIFY(mountTmpfs(mountPoint, u"corvane-device"_s));
    DriveList list;
    QVERIFY(list.setDrive(mountPoint));
    QCOMPARE(list.currentText(), mountPoint + u"  [corvane-device]"_s);
    QVERIFY(list.itemText(0).startsWith(u'/'));
}

void TestDriveList::choosingWithTheKeyboardAnnounces()
{
    if (!m_canMount)
        QSKIP("mounting needs root and mount namespaces");
    QVERIFY(mountTmpfs(m_root.path() + u"/k1"_s, u"corvane-k1"_s));
    DriveList list;
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.count() >= 2);

    QSignalSpy changed(&list, &DriveList::driveChanged);
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.currentIndex(), 1);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), list.drives().at(1));
    QCOMPARE(list.drive(), list.drives().at(1));
}

void TestDriveList::unmountedDriveFallsBackToRoot()
{
    if (!m_canMount)
        QSKIP("mounting needs root and mount namespaces");
    const QString mountPoint = m_root.path() + u"/gone"_s;
    QVERIFY(mountTmpfs(mountPoint, u"corvane-gone"_s));
    DriveList list;
    QVERIFY(list.setDrive(mountPoint));

    QCOMPARE(umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH), 0);
    m_mounted.removeAll(mountPoint);
    QSignalSpy changed(&list, &DriveList::driveChanged);
    list.refresh();
    QVERIFY(!list.drives().contains(mountPoint));
    QCOMPARE(list.drive(), u"/"_s);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), u"/"_s);

    // Refreshing with the drive still mounted changes nothing.
    list.refresh();
    QCOMPARE(changed.size(), 1);
}

QTEST_MAIN(TestDriveList)
#include "tst_drivelist.moc"
