#include "dirlist.h"
#include "drivelist.h"
#include "folderaccess.h"
#include "mainwindowfixture.h"
#include "unprivilegedfiles.h"

#include <QDir>
#include <QTreeWidgetItem>
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
    void initTestCase()
    {
        for (const QString &name : {u"logs/b"_s, u"logs/A"_s, u"logs/c"_s, u"logs/.hidden"_s,
                                    u"logs/with space"_s, u"noread"_s, u"noenter"_s})
            QVERIFY(QDir(m_root.path()).mkpath(name));
        QVERIFY(writeFile(folder(u"logs/f.txt"_s), {}));
        QVERIFY(QFile::setPermissions(m_root.path(), QFileDevice::Permissions(0x7755)));
        // Only to enter, and only to read, for everyone.
        QVERIFY(QFile::setPermissions(folder(u"noread"_s), QFileDevice::Permissions(0x1111)));
        QVERIFY(QFile::setPermissions(folder(u"noenter"_s), QFileDevice::Permissions(0x4444)));
    }

    void setPath_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("path"); // @: as given, else under the test's folder
        QTest::addColumn<QString>("expected");
        QTest::newRow("cleaned") << QString() << u"logs//./b/"_s << u"logs/b"_s;
        QTest::newRow("relative") << u"logs"_s << u"@c"_s << u"logs/c"_s;
        QTest::newRow("parent") << u"logs/b"_s << u"@.."_s << u"logs"_s;
        QTest::newRow("same folder") << u"logs"_s << u"logs/"_s << u"logs"_s;
        QTest::newRow("missing folder refused") << u"logs"_s << u"gone"_s << u"logs"_s;
        QTest::newRow("file refused") << u"logs"_s << u"logs/f.txt"_s << u"logs"_s;
        QTest::newRow("empty text refused") << u"logs"_s << u"@"_s << u"logs"_s;
        QTest::newRow("folder not to read refused") << u"logs"_s << u"noread"_s << u"logs"_s;
        QTest::newRow("folder not to enter refused") << u"logs"_s << u"noenter"_s << u"logs"_s;
    }

    // Root reads and enters anything: as root the cases run as user nobody.
    void setPath()
    {
        QFETCH(QString, start);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        UnprivilegedFiles unprivileged;
        if (!canEnterFolder(m_root.path()))
            QSKIP(qPrintable(u"user nobody cannot reach %1: set TMPDIR to a folder it can"_s.arg(
                m_root.path())));
        DirList list;
        QVERIFY(list.setPath(folder(start)));
        QSignalSpy changed(&list, &DirList::pathChanged);
        const bool refused = QString::fromLatin1(QTest::currentDataTag()).endsWith(u"refused");
        QCOMPARE(list.setPath(path.startsWith(u'@') ? path.mid(1) : folder(path)), !refused);
        QCOMPARE(list.path(), QDir::cleanPath(folder(expected)));
        QCOMPARE(DirList::pathOf(list.currentItem()), list.path());
        QCOMPARE(changed.size(), expected == start ? 0 : 1);
    }

    // The folder with its ancestors above and its subfolders below; opened by
    // double-click or Enter, left with Backspace or by an ancestor.
    void browsing()
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
            return names.join(u'|');
        };
        QCOMPARE(below(), u"A|b|c|with space"_s);
        const auto doubleClick = [&list](QTreeWidgetItem *item) {
            const QPoint at = list.visualItemRect(item).center();
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
        };
        doubleClick(list.currentItem()->child(2));
        QCOMPARE(list.path(), folder(u"logs/c"_s));
        QTest::keyClick(&list, Qt::Key_Backspace);
        QTest::keyClick(&list, Qt::Key_Down);
        QTest::keyClick(&list, Qt::Key_Down);
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(list.path(), folder(u"logs/b"_s));
        doubleClick(list.currentItem()->parent()->parent());
        QCOMPARE(list.path(), m_root.path());
        // A folder deleted and one made while shown: the list reads them again.
        QVERIFY(list.setPath(folder(u"logs"_s)));
        QVERIFY(QDir(folder(u"logs/c"_s)).removeRecursively() &&
                QDir().mkpath(folder(u"logs/new"_s)));
        list.refresh();
        QCOMPARE(below(), u"A|b|new|with space"_s);
    }

    // A drive mounted, chosen, followed by the window's folder list, and taken away.
    void mountedDrives()
    {
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            QSKIP("mounting a drive needs root and a mount namespace of its own");
        const QString drive = folder(u"mnt"_s);
        QVERIFY(QDir().mkpath(drive));
        QCOMPARE(mount("corvane-a", QFile::encodeName(drive).constData(), "tmpfs", 0, "size=64k"),
                 0);
        QVERIFY(QDir().mkpath(drive + u"/inner"_s));
        {
            MainWindowFixture f;
            f.reset();
            f.store(u"Path"_s, drive + u"/inner"_s);
            QVERIFY(f.open());
            auto *drives = f.ui<DriveList>("driveCombo");
            QCOMPARE(drives->currentText(), drive + u"  [corvane-a]"_s);
            QCOMPARE(f.ui<DirList>("folderTree")->path(), drive + u"/inner"_s);
            QTest::keyClick(drives, Qt::Key_Home);
            QCOMPARE(f.ui<DirList>("folderTree")->path(), u"/"_s);
            QVERIFY(drives->setDrive(drive + u'/'));
            QCOMPARE(f.ui<DirList>("folderTree")->path(), drive);
        }
        DriveList list;
        QSignalSpy changed(&list, &DriveList::driveChanged);
        for (const QString &notDrive :
             QStringList{QString(), folder(u"logs"_s), drive + u"/inner"_s})
            QVERIFY2(!list.setDrive(notDrive), qPrintable(notDrive));
        QVERIFY(list.setDrive(drive));
        QCOMPARE(umount2(QFile::encodeName(drive).constData(), MNT_DETACH), 0);
        list.refresh();
        list.refresh();
        QCOMPARE(list.drive(), u"/"_s);
        QVERIFY(!list.drives().contains(drive));
        QCOMPARE(QList<QVariantList>(changed), (QList<QVariantList>{{drive}, {u"/"_s}}));
    }

private:
    QString folder(const QString &name) const { return m_root.path() + u'/' + name; }
    QTemporaryDir m_root;
};

QTEST_MAIN(TestFolderLists)
#include "tst_folderlists.moc"
