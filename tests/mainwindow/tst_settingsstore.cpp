#include "mainwindowsettings.h"
#include "qsettingsstore.h"
#include "settingsfileformat.h"
#include "testfiles.h"
#include "unprivilegedfiles.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

// The settings store, and the main window's keys in it, on real files under a
// private XDG_CONFIG_HOME.
class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Enterable by the unprivileged identity wherever the temporary folder lies.
        QVERIFY(QFile::setPermissions(m_home.path(), QFileDevice::Permissions(0x7755)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
        QCOMPARE(QSettingsStore::fileName(u"Corvane"_s), file());
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

private:
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
    qint64 m_round = 0;
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
