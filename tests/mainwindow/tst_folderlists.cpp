#include "dirlist.h"
#include "drivelist.h"
#include "folderaccess.h"
#include "unprivilegedfiles.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sched.h>
#include <sys/mount.h>

using namespace Qt::StringLiterals;

[[maybe_unused]] static const bool kOwnScreen = qputenv("QT_QPA_PLATFORM", "offscreen");

// The log drive and folder lists on real folders. Drives are mounted inside a
// mount namespace of this process's own, so the machine's mounts never change.
class TestFolderLists : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void setPath_data();
    void setPath();
    void browsing();
    void mountedDrives();

private:
    QString folder(const QString &name) const { return m_root.path() + u'/' + name; }

    QTemporaryDir m_root;
    bool m_canMount = false;
};

void TestFolderLists::initTestCase()
{
    for (const QString &name : {u"logs/b"_s, u"logs/A"_s, u"logs/c"_s, u"logs/.hidden"_s,
                                u"logs/with space"_s, u"noread"_s, u"noenter"_s, u"plain"_s})
        QVERIFY(QDir(m_root.path()).mkpath(name));
    QFile file(folder(u"logs/f.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(QFile::setPermissions(m_root.path(), QFileDevice::Permissions(0x7755)));
    // Only to enter, and only to read, for everyone.
    QVERIFY(QFile::setPermissions(folder(u"noread"_s), QFileDevice::Permissions(0x1111)));
    QVERIFY(QFile::setPermissions(folder(u"noenter"_s), QFileDevice::Permissions(0x4444)));
    m_canMount = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

void TestFolderLists::setPath_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute") << QString() << u"logs"_s << true << u"logs"_s;
    QTest::newRow("cleaned") << QString() << u"logs//./b/"_s << true << u"logs/b"_s;
    QTest::newRow("relative") << u"logs"_s << u"@c"_s << true << u"logs/c"_s;
    QTest::newRow("parent") << u"logs/b"_s << u"@.."_s << true << u"logs"_s;
    QTest::newRow("same folder") << u"logs"_s << u"logs/"_s << true << u"logs"_s;
    QTest::newRow("missing folder") << u"logs"_s << u"gone"_s << false << u"logs"_s;
    QTest::newRow("file") << u"logs"_s << u"logs/f.txt"_s << false << u"logs"_s;
    QTest::newRow("empty text") << u"logs"_s << u"@"_s << false << u"logs"_s;
    QTest::newRow("folder not to read") << u"logs"_s << u"noread"_s << false << u"logs"_s;
    QTest::newRow("folder not to enter") << u"logs"_s << u"noenter"_s << false << u"logs"_s;
}

// Root reads and enters anything: as root the cases run as user nobody.
void TestFolderLists::setPath()
{
    QFETCH(QString, start);
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QFETCH(QString, expected);
    UnprivilegedFiles unprivileged;
    if (!canEnterFolder(m_root.path()))
        QSKIP(qPrintable(
            u"user nobody cannot reach %1: set TMPDIR to a folder it can"_s.arg(m_root.path())));
    DirList list;
    QVERIFY(list.setPath(folder(start)));
    QSignalSpy changed(&list, &DirList::pathChanged);
    const QString given = path.startsWith(u'@') ? path.mid(1) : folder(path);
    QCOMPARE(list.setPath(given), accepted);
    QCOMPARE(list.path(), QDir::cleanPath(folder(expected)));
    QCOMPARE(DirList::pathOf(list.currentItem()), list.path());
    QCOMPARE(changed.size(), expected == start ? 0 : 1);
}

// The folder with its ancestors above and its subfolders below; opened by
// double-click or Enter, left with Backspace or by an ancestor.
void TestFolderLists::browsing()
{
    DirList list;
    list.resize(300, 600);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.setPath(folder(u"logs"_s)));
    QCOMPARE(list.topLevelItem(0)->text(0), u"/"_s);
    QCOMPARE(list.currentItem()->parent()->text(0), m_root.path().section(u'/', -1));
    const auto below = [&list] {
        QStringList names;
        for (int i = 0; i < list.currentItem()->childCount(); ++i)
            names.append(list.currentItem()->child(i)->text(0));
        return names;
    };
    QCOMPARE(below(), (QStringList{u"A"_s, u"b"_s, u"c"_s, u"with space"_s}));

    const auto doubleClick = [&list](QTreeWidgetItem *item) {
        const QPoint at = list.visualItemRect(item).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(list.currentItem()->child(2));
    QCOMPARE(list.path(), folder(u"logs/c"_s));
    QTest::keyClick(&list, Qt::Key_Backspace);
    QCOMPARE(list.path(), folder(u"logs"_s));
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.path(), folder(u"logs/b"_s));
    doubleClick(list.currentItem()->parent()->parent());
    QCOMPARE(list.path(), m_root.path());

    // A folder deleted and one made while shown: the list reads them again.
    QVERIFY(list.setPath(folder(u"logs"_s)));
    QVERIFY(QDir(folder(u"logs/c"_s)).removeRecursively());
    QVERIFY(QDir().mkpath(folder(u"logs/new"_s)));
    list.refresh();
    QCOMPARE(below(), (QStringList{u"A"_s, u"b"_s, u"new"_s, u"with space"_s}));
}

void TestFolderLists::mountedDrives()
{
    if (!m_canMount)
        QSKIP("mounting a drive needs root and a mount namespace of its own");
    DriveList list;
    QSignalSpy changed(&list, &DriveList::driveChanged);
    QCOMPARE(list.drive(), u"/"_s);
    QCOMPARE(list.drives().constFirst(), u"/"_s);
    const QString drive = folder(u"mnt"_s);
    QVERIFY(QDir().mkpath(drive));
    QCOMPARE(mount("corvane-a", QFile::encodeName(drive).constData(), "tmpfs", 0, "size=64k"), 0);
    QVERIFY(QDir().mkpath(drive + u"/inner"_s));
    for (const QString &notDrive :
         QStringList{QString(), folder(u"plain"_s), drive + u"/inner"_s, u"c:\\"_s})
        QVERIFY2(!list.setDrive(notDrive), qPrintable(notDrive));
    QCOMPARE(list.drive(), u"/"_s);
    QVERIFY(list.setDrive(drive + u'/'));
    QCOMPARE(list.drive(), drive);
    QCOMPARE(list.currentText(), drive + u"  [corvane-a]"_s);

    QCOMPARE(umount2(QFile::encodeName(drive).constData(), MNT_DETACH), 0);
    list.refresh();
    list.refresh();
    QCOMPARE(list.drive(), u"/"_s);
    QVERIFY(!list.drives().contains(drive));
    QCOMPARE(QList<QVariantList>(changed), (QList<QVariantList>{{drive}, {u"/"_s}}));
}

QTEST_MAIN(TestFolderLists)
#include "tst_folderlists.moc"
