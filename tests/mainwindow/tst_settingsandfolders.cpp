#include "dirlist.h"
#include "drivelist.h"
#include "folderaccess.h"
#include "mainwindowfixture.h"
#include "mainwindowsettings.h"
#include "qsettingsstore.h"
#include "settingsfileformat.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>
#include <optional>
#include <sched.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

[[maybe_unused]] static const bool kOwnScreen = qputenv("QT_QPA_PLATFORM", "offscreen");

// Root reads and writes anything: while this lives, a root test's thread uses
// the file-system identity of user nobody (65534). Others keep their own.
struct UnprivilegedFiles
{
    UnprivilegedFiles() { m_wasRoot &&setfsuid(65534); }
    ~UnprivilegedFiles() { m_wasRoot &&setfsuid(0); }
    const bool m_wasRoot = geteuid() == 0;
};

// The settings store and the main window's keys in it, on real files under a
// private XDG_CONFIG_HOME; the log drive and folder lists on real folders, drives
// mounted in a mount namespace of this process's own. Round trips of any text
// through the file format, and how stored numbers read, are checked by a fuzzer.
class TestSettingsAndFolders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Enterable by the unprivileged identity wherever the temporary folder lies.
        QVERIFY(QFile::setPermissions(m_home.path(), QFileDevice::Permissions(0x7755)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
        QCOMPARE(QSettingsStore::fileName(u"Corvane"_s), file());
        for (const QString &name :
             u"logs/b|logs/A|logs/c|logs/.hidden|logs/with space|noread|noenter"_s.split(u'|'))
            QVERIFY(QDir(m_root.path()).mkpath(name));
        QVERIFY(writeFile(folder(u"logs/f.txt"_s), {}));
        QVERIFY(QFile::setPermissions(m_root.path(), QFileDevice::Permissions(0x7755)));
        // Only to enter, and only to read, for everyone.
        QVERIFY(QFile::setPermissions(folder(u"noread"_s), QFileDevice::Permissions(0x1111)));
        QVERIFY(QFile::setPermissions(folder(u"noenter"_s), QFileDevice::Permissions(0x4444)));
    }

    void init()
    {
        QDir(m_home.filePath(u"Corvane"_s)).removeRecursively();
        QFile::remove(m_home.filePath(u"Corvane"_s));
        QVERIFY(QDir(m_home.path()).mkpath(u"Corvane"_s));
    }

    // Read once at start, written back (all but "Parallel") and flushed at close.
    void mainWindowKeys_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("values"); // Path|File|Start|Stop|Enabled|Overwrite|Parallel
        const QString defaults = u"/home|ipnums.txt|0.0.0.0|255.255.255.255|1|1|256"_s;
        QTest::newRow("an empty store gives the defaults") << QByteArray() << defaults;
        QTest::newRow("every key read, texts unchanged, Parallel at its limit")
            << "Path=/var/log\nFile=\nStart=010.000.001.254\nStop=x\nEnabled=+2\nOverwrite=0\n"
               "Parallel=65536\n"_ba
            << u"/var/log||010.000.001.254|x|2|0|65536"_s;
        QTest::newRow("texts that are no check state or Parallel give the defaults")
            << "Enabled=abc\nOverwrite=5\nParallel=0\n"_ba << defaults;
    }

    void mainWindowKeys()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, values);
        QVERIFY(writeConfig("[Options]\n" + stored));
        QSettingsStore store;
        const MainWindowValues v = MainWindowSettings(store).read(u"/home"_s);
        QStringList got{v.path, v.file, v.start, v.stop, checkStateSettingText(v.enabled)};
        got << checkStateSettingText(v.overwrite) << QString::number(v.parallel);
        QCOMPARE(got, values.split(u'|'));
        QVERIFY(writeConfig({}));
        MainWindowSettings(store).write(v);
        // On disk, not from Qt's copy of the file that every store in the process shares.
        const QSettings::SettingsMap disk = parseSettingsFile(readFile(file())).values;
        QStringList back;
        for (const QString &key : u"Path File Start Stop Enabled Overwrite Parallel"_s.split(u' '))
            back.append(disk.value(u"Options/"_s + key, u"-"_s).toString());
        QCOMPARE(back, got.mid(0, 6) + QStringList{u"-"_s});
    }

    // What a person may type into the file, apart from lines that cannot be
    // read: the file is copied aside before it is rewritten, and any text
    // written reads back exactly. Qt's own INI format would read the comma
    // values as lists and the "@" value as another type.
    void handEditedFile()
    {
        const QByteArray original =
            "Path=top\n[Options]\nA=Router, jürgen\nB =  \"  a \", \"b\"  \n"
            "C=@ByteArray(xy)\nD=\\q\\\r\nE=\"a, b\n;F=x\n#F=y\n"
            "\xff=2\nG=\\x\n=3\njunk\n[Other]\nPath=o\n[X\n";
        const QString text =
            u"@@x @Invalid() \"C:\\temp\\\" [Options] 😀 one\ntwo\r\n\tthree\x01"_s + u"ABC"_s +
            QChar(0x7F) + QChar(0) + u"1 "_s;
        QVERIFY(writeConfig(original));
        {
            QSettingsStore store;
            QStringList values;
            for (const QString &key : u"Options/A Options/B Options/C Options/D Options/E "
                                      u"Options/F Other/Path Path"_s.split(u' '))
                values.append(store.readSetting(u"Corvane"_s, key.section(u'/', 0, -2),
                                                key.section(u'/', -1), u"-"_s));
            QCOMPARE(values.join(u'|'),
                     u"Router, jürgen|  a , b|@ByteArray(xy)|\\q\\|a, b|-|o|top"_s);
            QCOMPARE(store.lastError(),
                     u"The settings file %1 has lines that could not be read (the "
                     u"first is line 10); the file is copied to %1.bak before it "
                     u"is rewritten."_s.arg(file()));
            QVERIFY(store.writeSetting(u"Corvane"_s, u"Options"_s, u"Text"_s, text));
            QVERIFY(store.writeSetting(u"Corvane"_s, u"Options"_s, u"Empty"_s, QString()));
            QVERIFY(store.flush());
        }
        QCOMPARE(readFile(file() + u".bak"_s), original);
        // On disk, not from Qt's copy of the file that every store in the process shares.
        const SettingsFileContents disk = parseSettingsFile(readFile(file()));
        QCOMPARE(disk.values.value(u"Options/Text"_s).toString(), text);
        QCOMPARE(disk.values.value(u"Options/Empty"_s, u"-"_s).toString(), QString());
        QCOMPARE(disk.values.value(u"Options/E"_s).toString(), u"a, b"_s);
    }

    void unwritableStoreFailsClearly_data()
    {
        QTest::addColumn<QString>("obstacle"); // or |application|section|key
        QTest::addColumn<QString>("reason");
        QTest::newRow("settings file is a folder") << u"folder"_s << u"is a folder"_s;
        QTest::newRow("settings folder is a file") << u"file"_s << u"cannot be created"_s;
        QTest::newRow("read-only file kept") << u"read-only"_s << u"cannot be written"_s;
        QTest::newRow("folder appears before the flush") << u"late"_s << u"is a folder"_s;
        QTest::newRow("application name climbs out") << u"|..|Options|Start"_s << u"cannot name"_s;
        QTest::newRow("key with a slash") << u"|Corvane|Options|a/b"_s << u"cannot name"_s;
        QTest::newRow("section with a backslash") << u"|Corvane|a\\b|Start"_s << u"cannot name"_s;
        QTest::newRow("empty key") << u"|Corvane|Options|"_s << u"cannot name"_s;
    }

    void unwritableStoreFailsClearly()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        const QByteArray original = "[Options]\nStart=1\n";
        QVERIFY(writeConfig(original));
        const QStringList name =
            (obstacle.startsWith(u'|') ? obstacle : u"|Corvane|Options|Start"_s).split(u'|').mid(1);
        if (obstacle == u"folder")
            QVERIFY(QFile::remove(file()) && QDir().mkpath(file()));
        if (obstacle == u"file")
            QVERIFY(QDir(m_home.filePath(u"Corvane"_s)).removeRecursively() &&
                    writeFile(m_home.filePath(u"Corvane"_s), original));
        std::optional<UnprivilegedFiles> unprivileged;
        if (obstacle == u"read-only") {
            QVERIFY(QFile::setPermissions(file(), QFileDevice::Permissions(0x4444)));
            unprivileged.emplace();
        }
        QSettingsStore store;
        const auto read = [&] { return store.readSetting(name[0], name[1], name[2], u"-"_s); };
        const QString kept = obstacle == u"read-only" || obstacle == u"late" ? u"1"_s : u"-"_s;
        QCOMPARE(read(), kept);
        QCOMPARE(store.writeSetting(name[0], name[1], name[2], u"2"_s), obstacle == u"late");
        if (obstacle == u"late") {
            QVERIFY(QFile::remove(file()) && QDir().mkpath(file()));
            QVERIFY(!store.flush());
            QVERIFY(QDir(file()).removeRecursively());
            QVERIFY(store.flush()); // the value still waiting is saved once the way is clear
            QCOMPARE(parseSettingsFile(readFile(file())).values.value(u"Options/Start"_s), u"2"_s);
        } else {
            QVERIFY(store.flush());
            QCOMPARE(read(), kept);
            if (obstacle != u"folder")
                QCOMPARE(readFile(obstacle == u"file" ? m_home.filePath(u"Corvane"_s) : file()),
                         original);
        }
        QVERIFY2(store.lastError().contains(reason), qPrintable(store.lastError()));
    }

    // The folder with its ancestors above and its subfolders below; opened by
    // double-click or Enter, left with Backspace or by an ancestor; refused
    // when it cannot be listed and entered.
    void browsing()
    {
        DirList list;
        list.resize(300, 600);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy changed(&list, &DirList::pathChanged);
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
        // Root reads and enters anything: these run as user nobody.
        UnprivilegedFiles unprivileged;
        if (!canEnterFolder(m_root.path()))
            QSKIP("user nobody cannot reach the temporary folder: set TMPDIR to one it can");
        for (const QString &refused :
             {QString(), folder(u"gone"_s), folder(u"noread"_s), folder(u"noenter"_s)})
            QVERIFY2(!list.setPath(refused), qPrintable(refused));
        QVERIFY(list.setPath(folder(u"logs//./"_s)));
        QCOMPARE(list.path(), folder(u"logs"_s));
        QCOMPARE(changed.size(), 6);
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
            f.store(u"Path"_s, drive + u"/inner"_s);
            QVERIFY(f.open());
            auto *drives = f.ui<DriveList>("driveCombo");
            QCOMPARE(drives->currentText(), drive + u"  [corvane-a]"_s);
            QCOMPARE(f.ui<DirList>("folderTree")->path(), drive + u"/inner"_s);
            QTest::keyClick(drives, Qt::Key_Home);
            QCOMPARE(f.ui<DirList>("folderTree")->path(), u"/"_s);
        }
        DriveList list;
        QSignalSpy changed(&list, &DriveList::driveChanged);
        for (const QString &notDrive : {QString(), QString(drive + u"/inner"_s)})
            QVERIFY2(!list.setDrive(notDrive), qPrintable(notDrive));
        QVERIFY(list.setDrive(drive + u'/'));
        QCOMPARE(umount2(QFile::encodeName(drive).constData(), MNT_DETACH), 0);
        list.refresh();
        list.refresh();
        QCOMPARE(list.drive(), u"/"_s);
        QVERIFY(!list.drives().contains(drive));
        QCOMPARE(QList<QVariantList>(changed), (QList<QVariantList>{{drive}, {u"/"_s}}));
    }

private:
    QString folder(const QString &name) const { return m_root.path() + u'/' + name; }
    QString file() const { return m_home.filePath(u"Corvane/Corvane.conf"_s); }
    // Qt keeps settings files it read by path, size and time stamp: each file
    // written here gets a time stamp of its own.
    bool writeConfig(const QByteArray &bytes)
    {
        QFile written(file());
        return writeFile(file(), bytes) && written.open(QIODevice::ReadWrite) &&
               written.setFileTime(QDateTime::fromSecsSinceEpoch(1'000'000'000 + ++m_round),
                                   QFileDevice::FileModificationTime);
    }
    QTemporaryDir m_home;
    QTemporaryDir m_root;
    qint64 m_round = 0;
};

QTEST_MAIN(TestSettingsAndFolders)
#include "tst_settingsandfolders.moc"
