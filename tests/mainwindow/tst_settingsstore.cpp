#include "qsettingsstore.h"
#include "testfiles.h"
#include "unprivilegedfiles.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {
const QString kApp = u"Corvane"_s;
const QString kSection = u"Options"_s;
} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void textReadsBackExactly_data();
    void textReadsBackExactly();
    void handEditedFileReads_data();
    void handEditedFileReads();
    void damagedFileIsKeptAside();
    void unwritableStoreFailsClearly_data();
    void unwritableStoreFailsClearly();

private:
    QString file() const { return m_home.filePath(u"Corvane/Corvane.conf"_s); }
    // Qt keeps settings files it read by path, size and time stamp: a file rewritten
    // in the same instant with the same size would read as the one before it.
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

void TestSettingsStore::initTestCase()
{
    QVERIFY(m_home.isValid());
    // Enterable by the unprivileged identity wherever the temporary folder lies.
    QVERIFY(QFile::setPermissions(m_home.path(), QFileDevice::Permissions(0x7755)));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
    QCOMPARE(QSettingsStore::fileName(kApp), file());
}

void TestSettingsStore::init()
{
    QDir(m_home.filePath(u"Corvane"_s)).removeRecursively();
    QFile::remove(m_home.filePath(u"Corvane"_s));
    QVERIFY(QDir(m_home.path()).mkpath(u"Corvane"_s));
}

// Every text comes back unchanged, whether this store or Qt's own INI format wrote it.
void TestSettingsStore::textReadsBackExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks at both ends") << u"  a b  "_s;
    QTest::newRow("comma list, semicolon, equals") << u"a, b,c;x = y"_s;
    QTest::newRow("quotes and backslashes") << u"\"C:\\temp\\\" and \"half"_s;
    QTest::newRow("line breaks, tabs, controls before hex digits")
        << u"one\ntwo\r\n\tthree\x01"_s + u"ABC"_s + QChar(0x7F) + QChar(0) + u"1"_s;
    QTest::newRow("at signs") << u"@Invalid()"_s;
    QTest::newRow("double at sign") << u"@@x"_s;
    QTest::newRow("comment and section look") << u"#no; [Options]"_s;
    QTest::newRow("beyond the basic plane, accents, percent") << u"Ünï ☃ 😀 100% /x"_s;
}

void TestSettingsStore::textReadsBackExactly()
{
    QFETCH(QString, text);
    for (const bool byQt : {false, true}) {
        init();
        if (byQt) {
            QSettings qt(file(), QSettings::IniFormat);
            qt.setValue(u"Options/Path"_s, text);
        } else {
            QSettingsStore store;
            QVERIFY(store.writeSetting(kApp, kSection, u"Path"_s, text));
            QCOMPARE(store.readSetting(kApp, kSection, u"Path"_s, u"-"_s), text);
            QVERIFY(store.flush());
        }
        QSettingsStore reopened;
        QCOMPARE(reopened.readSetting(kApp, kSection, u"Path"_s, u"-"_s), text);
        QCOMPARE(reopened.lastError(), QString());
    }
}

// What a person may type into the file. Qt's own INI format would read the
// comma rows as lists (an empty text) and the "@" rows as other types.
void TestSettingsStore::handEditedFileReads_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("value");
    QTest::newRow("description with a comma")
        << "Path=Router, upstairs"_ba << u"Router, upstairs"_s;
    QTest::newRow("folder with commas") << "Path=/srv/a,b,c/"_ba << u"/srv/a,b,c/"_s;
    QTest::newRow("blanks around, quoted items") << "Path =  \"  a \", \"b\"  "_ba << u"  a , b"_s;
    QTest::newRow("value starting with @") << "Path=@ByteArray(xy)"_ba << u"@ByteArray(xy)"_s;
    QTest::newRow("unknown escape, windows line end") << "Path=\\q\\\r"_ba << u"\\q\\"_s;
    QTest::newRow("unterminated quote ends at the line end") << "Path=\"a, b"_ba << u"a, b"_s;
    QTest::newRow("UTF-8") << "Path=/home/jürgen"_ba << u"/home/jürgen"_s;
    QTest::newRow("commented out: the default") << ";Path=x\n#Path=y"_ba << u"-"_s;
    QTest::newRow("key differs in case: the default") << "path=x"_ba << u"-"_s;
}

void TestSettingsStore::handEditedFileReads()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, value);
    QVERIFY(writeConfig("Path=top\n[Options]\n" + line + "\nFile=f\n[Other]\nPath=o\n"));
    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, kSection, u"Path"_s, u"-"_s), value);
    QCOMPARE(store.readSetting(kApp, kSection, u"File"_s, u"-"_s), u"f"_s);
    QCOMPARE(store.readSetting(kApp, u"Other"_s, u"Path"_s, u"-"_s), u"o"_s);
    QCOMPARE(store.readSetting(kApp, QString(), u"Path"_s, u"-"_s), u"top"_s);
    QCOMPARE(store.lastError(), QString());
}

void TestSettingsStore::damagedFileIsKeptAside()
{
    const QByteArray original = "[Options]\nStart=1\n\xff=2\nA=\\x\n=3\njunk\nFile=a, b\n[X\n";
    QVERIFY(writeConfig(original));
    {
        QSettingsStore store;
        QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, {}), u"1"_s);
        QCOMPARE(store.lastError(), u"The settings file %1 has lines that could not be read (the "
                                    u"first is line 3); the file is copied to %1.bak before it "
                                    u"is rewritten."_s.arg(file()));
        QVERIFY(store.writeSetting(kApp, kSection, u"Stop"_s, u"9"_s));
        QVERIFY(store.flush());
    }
    QCOMPARE(readFile(file() + u".bak"_s), original);
    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, kSection, u"File"_s, {}), u"a, b"_s);
    QCOMPARE(store.readSetting(kApp, kSection, u"Stop"_s, {}), u"9"_s);
    QCOMPARE(store.lastError(), QString());
}

void TestSettingsStore::unwritableStoreFailsClearly_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("reason");
    QTest::newRow("settings file is a folder") << u"folder"_s << u"is a folder"_s;
    QTest::newRow("settings folder is a file") << u"file"_s << u"cannot be created"_s;
    QTest::newRow("read-only file keeps its values") << u"read-only"_s << u"cannot be written"_s;
    QTest::newRow("folder appears before the flush") << u"late"_s << u"is a folder"_s;
    QTest::newRow("application name climbs out") << u"app:../x"_s << u"cannot name"_s;
    QTest::newRow("key with a slash") << u"key:a/b"_s << u"cannot name"_s;
    QTest::newRow("section with a backslash") << u"section:a\\b"_s << u"cannot name"_s;
    QTest::newRow("empty key") << u"key:"_s << u"cannot name"_s;
}

void TestSettingsStore::unwritableStoreFailsClearly()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, reason);
    const QByteArray original = "[Options]\nStart=1\n";
    QVERIFY(writeConfig(original));
    const QString app = obstacle.startsWith(u"app:") ? obstacle.sliced(4) : kApp;
    const QString section = obstacle.startsWith(u"section:") ? obstacle.sliced(8) : kSection;
    const QString key = obstacle.startsWith(u"key:") ? obstacle.sliced(4) : u"Start"_s;
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
    const QString before = obstacle == u"read-only" ? u"1"_s : u"-"_s;
    QCOMPARE(store.readSetting(app, section, key, u"-"_s), obstacle == u"late" ? u"1"_s : before);
    if (obstacle == u"late") {
        QVERIFY(store.writeSetting(app, section, key, u"2"_s));
        QVERIFY(QFile::remove(file()) && QDir().mkpath(file()));
        QVERIFY(!store.flush());
        QVERIFY(QDir(file()).removeRecursively());
        QVERIFY(store.flush()); // the value still waiting is saved once the way is clear
        QCOMPARE(QSettingsStore().readSetting(app, section, key, u"-"_s), u"2"_s);
    } else {
        QVERIFY(!store.writeSetting(app, section, key, u"2"_s));
        QVERIFY(store.flush());
        QCOMPARE(store.readSetting(app, section, key, u"-"_s), before);
    }
    QVERIFY2(store.lastError().contains(reason), qPrintable(store.lastError()));
    if (obstacle != u"folder" && obstacle != u"late")
        QCOMPARE(readFile(obstacle == u"file" ? m_home.filePath(u"Corvane"_s) : file()), original);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
