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
    UnprivilegedFiles(const UnprivilegedFiles &) = delete;
    const bool m_wasRoot = geteuid() == 0;
};

// The settings store, and the main window's keys in it, on real files under a
// private XDG_CONFIG_HOME; the log drive and folder lists on real folders.
// Drives are mounted inside a mount namespace of this process's own, so the
// machine's mounts never change.
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
        for (const QString &name : {u"logs/b"_s, u"logs/A"_s, u"logs/c"_s, u"logs/.hidden"_s,
                                    u"logs/with space"_s, u"noread"_s, u"noenter"_s})
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
        QTest::newRow("an empty store gives the defaults")
            << QByteArray() << u"/home|ipnums.txt|0.0.0.0|255.255.255.255|1|1|256"_s;
        QTest::newRow("every key read, texts unchanged")
            << "Path=/var/log\nFile=\nStart=010.000.001.254\nStop=x\nEnabled=2\nOverwrite=0\n"
               "Parallel=64\n"_ba
            << u"/var/log||010.000.001.254|x|2|0|64"_s;
        QTest::newRow("a check box text that is no state is checked")
            << "Enabled=abc\nOverwrite=5\nParallel=0\n"_ba
            << u"/home|ipnums.txt|0.0.0.0|255.255.255.255|1|1|256"_s;
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

    // Whether this store or Qt's own INI format wrote it.
    void textReadsBackExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks at both ends, comma list, semicolon, equals") << u"  a, b,c;x = y "_s;
        QTest::newRow("quotes and backslashes") << u"\"C:\\temp\\\" and \"half"_s;
        QTest::newRow("line breaks, tabs, controls before hex digits")
            << u"one\ntwo\r\n\tthree\x01"_s + u"ABC"_s + QChar(0x7F) + QChar(0) + u"1"_s;
        QTest::newRow("at signs, comment and section look") << u"@Invalid() @@x #no; [Options] 😀"_s;
    }

    void textReadsBackExactly()
    {
        QFETCH(QString, text);
        for (const bool byQt : {false, true}) {
            init();
            if (byQt) {
                QSettings(file(), QSettings::IniFormat).setValue(u"Options/Path"_s, text);
            } else {
                QSettingsStore store;
                QVERIFY(store.writeSetting(u"Corvane"_s, u"Options"_s, u"Path"_s, text));
                QCOMPARE(read(store), text);
                QVERIFY(store.flush());
            }
            QSettingsStore reopened;
            QCOMPARE(read(reopened), text);
            QCOMPARE(reopened.lastError(), QString());
        }
    }

    // What a person may type into the file. Qt's own INI format would read the
    // comma rows as lists (an empty text) and the "@" row as another type.
    void handEditedFileReads_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("value");
        QTest::newRow("description with a comma")
            << "Path=Router, upstairs"_ba << u"Router, upstairs"_s;
        QTest::newRow("blanks around, quoted items")
            << "Path =  \"  a \", \"b\"  "_ba << u"  a , b"_s;
        QTest::newRow("value starting with @") << "Path=@ByteArray(xy)"_ba << u"@ByteArray(xy)"_s;
        QTest::newRow("unknown escape, windows line end") << "Path=\\q\\\r"_ba << u"\\q\\"_s;
        QTest::newRow("unterminated quote ends at the line end") << "Path=\"a, b"_ba << u"a, b"_s;
        QTest::newRow("UTF-8") << "Path=/home/jürgen"_ba << u"/home/jürgen"_s;
        QTest::newRow("commented out: the default") << ";Path=x\n#Path=y"_ba << u"-"_s;
        QTest::newRow("key differs in case: the default") << "path=x"_ba << u"-"_s;
    }

    void handEditedFileReads()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        QVERIFY(writeConfig("Path=top\n[Options]\n" + line + "\nFile=f\n[Other]\nPath=o\n"));
        QSettingsStore store;
        QCOMPARE(read(store), value);
        QCOMPARE(read(store, u"File"_s), u"f"_s);
        QCOMPARE(store.readSetting(u"Corvane"_s, u"Other"_s, u"Path"_s, {}), u"o"_s);
        QCOMPARE(store.readSetting(u"Corvane"_s, QString(), u"Path"_s, {}), u"top"_s);
        QCOMPARE(store.lastError(), QString());
    }

    void damagedFileIsKeptAside()
    {
        const QByteArray original = "[Options]\nStart=1\n\xff=2\nA=\\x\n=3\njunk\nFile=a, b\n[X\n";
        QVERIFY(writeConfig(original));
        {
            QSettingsStore store;
            QCOMPARE(read(store, u"Start"_s), u"1"_s);
            QCOMPARE(store.lastError(),
                     u"The settings file %1 has lines that could not be read (the "
                     u"first is line 3); the file is copied to %1.bak before it "
                     u"is rewritten."_s.arg(file()));
            QVERIFY(store.writeSetting(u"Corvane"_s, u"Options"_s, u"Stop"_s, u"9"_s));
            QVERIFY(store.flush());
        }
        QCOMPARE(readFile(file() + u".bak"_s), original);
        QSettingsStore store;
        QCOMPARE(read(store, u"File"_s) + read(store, u"Stop"_s), u"a, b9"_s);
        QCOMPARE(store.lastError(), QString());
    }

    void unwritableStoreFailsClearly_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("reason");
        QTest::newRow("settings file is a folder") << u"folder"_s << u"is a folder"_s;
        QTest::newRow("settings folder is a file") << u"file"_s << u"cannot be created"_s;
        QTest::newRow("read-only file keeps its values")
            << u"read-only"_s << u"cannot be written"_s;
        QTest::newRow("folder appears before the flush") << u"late"_s << u"is a folder"_s;
        QTest::newRow("application name climbs out") << u"app:../x"_s << u"cannot name"_s;
        QTest::newRow("key with a slash") << u"key:a/b"_s << u"cannot name"_s;
        QTest::newRow("section with a backslash") << u"section:a\\b"_s << u"cannot name"_s;
        QTest::newRow("empty key") << u"key:"_s << u"cannot name"_s;
    }

    void unwritableStoreFailsClearly()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        const QByteArray original = "[Options]\nStart=1\n";
        QVERIFY(writeConfig(original));
        const auto part = [&obstacle](const QString &name, const QString &otherwise) {
            return obstacle.startsWith(name + u':') ? obstacle.section(u':', 1) : otherwise;
        };
        const QString app = part(u"app"_s, u"Corvane"_s),
                      section = part(u"section"_s, u"Options"_s), key = part(u"key"_s, u"Start"_s);
        if (obstacle == u"folder")
            QVERIFY(QFile::remove(file()) && QDir().mkpath(file()));
        if (obstacle == u"file")
            QVERIFY(QDir(m_home.filePath(u"Corvane"_s)).removeRecursively() &&
                    writeFile(m_home.filePath(u"Corvane"_s), original));
        std::optional<UnprivilegedFiles> unprivileged;
        if (obstacle == u"read-only" &&
            QFile::setPermissions(file(), QFileDevice::Permissions(0x4444)))
            unprivileged.emplace();
        QSettingsStore store;
        const QString kept = obstacle == u"read-only" || obstacle == u"late" ? u"1"_s : u"-"_s;
        QCOMPARE(store.readSetting(app, section, key, u"-"_s), kept);
        QCOMPARE(store.writeSetting(app, section, key, u"2"_s), obstacle == u"late");
        if (obstacle == u"late") {
            QVERIFY(QFile::remove(file()) && QDir().mkpath(file()));
            QVERIFY(!store.flush());
            QVERIFY(QDir(file()).removeRecursively());
            QVERIFY(store.flush()); // the value still waiting is saved once the way is clear
            QCOMPARE(QSettingsStore().readSetting(app, section, key, u"-"_s), u"2"_s);
        } else {
            QVERIFY(store.flush());
            QCOMPARE(store.readSetting(app, section, key, u"-"_s), kept);
            if (obstacle != u"folder")
                QCOMPARE(readFile(obstacle == u"file" ? m_home.filePath(u"Corvane"_s) : file()),
                         original);
        }
        QVERIFY2(store.lastError().contains(reason), qPrintable(store.lastError()));
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
    QString file() const { return m_home.filePath(u"Corvane/Corvane.conf"_s); }
    static QString read(QSettingsStore &store, const QString &key = u"Path"_s)
    {
        return store.readSetting(u"Corvane"_s, u"Options"_s, key, u"-"_s);
    }
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
