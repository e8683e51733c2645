#include "qsettingsstore.h"
#include "settingsfileformat.h"
#include "unprivilegedfiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
using namespace Qt::StringLiterals;

namespace {

const QString kApp = u"Corvane"_s;
const QString kSection = u"Options"_s;

QString configHome()
{
    return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
}

QString storeFile()
{
    return configHome() + u"/Corvane/Corvane.conf"_s;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void writtenTextReadsBackExactly_data();
    void writtenTextReadsBackExactly();
    void textsWrittenByQtsOwnIniFormatReadExactly_data();
    void textsWrittenByQtsOwnIniFormatReadExactly();
    void handEditedValueReadsAsOneText_data();
    void handEditedValueReadsAsOneText();
    void missingKeyGivesDefault_data();
    void missingKeyGivesDefault();
    void storeLivesInConfigFolderUnderApplicationName();
    void otherKeysSurviveAWrite();
    void unreadableLinesAreReported_data();
    void unreadableLinesAreReported();
    void damagedFileIsCopiedBeforeRewrite();
    void unwritableStoreFailsClearly_data();
    void unwritableStoreFailsClearly();
    void readOnlyFileKeepsItsValues();
    void flushReportsAFileThatCouldNotBeSaved();
    void unusableNamesAreRefused_data();
    void unusableNamesAreRefused();

private:
    QTemporaryDir m_configHome;
};

void TestSettingsStore::initTestCase()
{
    // A folder the unprivileged identity can enter wherever the build tree lies.
    QVERIFY(m_configHome.isValid());
    QVERIFY(QFile::setPermissions(m_configHome.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ReadGroup |
                                                           QFile::ExeGroup | QFile::ReadOther |
                                                           QFile::ExeOther));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
}

void TestSettingsStore::init()
{
    QVERIFY(!configHome().isEmpty());
    QDir(configHome()).removeRecursively();
    QVERIFY(QDir().mkpath(configHome()));
}

void TestSettingsStore::cleanup()
{
    QFile::setPermissions(storeFile(), QFile::ReadOwner | QFile::WriteOwner);
    QDir(configHome()).removeRecursively();
    QDir().mkpath(configHome());
}

static void addTexts()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain path") << u"/home/user/logs/"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("leading blanks") << u"   lead"_s;
    QTest::newRow("trailing blanks") << u"trail   "_s;
    QTest::newRow("only blanks") << u"   "_s;
    QTest::newRow("comma list") << u"a, b,c"_s;
    QTest::newRow("tabs") << u"\tin\tside\t"_s;
    QTest::newRow("equals and semicolon") << u"x=y;z = ;"_s;
    QTest::newRow("quotes") << u"\"quoted\" and \"half"_s;
    QTest::newRow("backslashes") << u"C:\\temp\\new\\"_s;
    QTest::newRow("line breaks") << u"one\ntwo\r\nthree"_s;
    QTest::newRow("control characters") << u"a\x01"_s + QChar(0x7F) + u"b\x1f" + u"c"_s;
    QTest::newRow("control before hex digit") << u"\x01"_s + u"ABC1"_s;
    QTest::newRow("nul character") << u"a"_s + QChar(0) + u"1"_s;
    QTest::newRow("at sign forms") << u"@Invalid()"_s;
    QTest::newRow("double at sign") << u"@@x"_s;
    QTest::newRow("comment characters") << u"#not; a comment"_s;
    QTest::newRow("section look") << u"[Options]"_s;
    QTest::newRow("accents") << u"Ünïcödé façade"_s;
    QTest::newRow("beyond the basic plane") << u"snow ☃ and 😀"_s;
    QTest::newRow("percent and slash") << u"100% /x\\y"_s;
    QTest::newRow("long text") << QString(20000, u'x') + u", end"_s;
}

void TestSettingsStore::writtenTextReadsBackExactly_data()
{
    addTexts();
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + u"x"_s;
}

void TestSettingsStore::writtenTextReadsBackExactly()
{
    QFETCH(QString, text);
    {
        QSettingsStore store;
        QVERIFY(store.writeSetting(kApp, kSection, u"Path"_s, text));
        QCOMPARE(store.readSetting(kApp, kSection, u"Path"_s, u"default"_s), text);
        QVERIFY(store.flush());
        QCOMPARE(store.lastError(), QString());
    }
    QSettingsStore reopened;
    QCOMPARE(reopened.readSetting(kApp, kSection, u"Path"_s, u"default"_s), text);
    QCOMPARE(reopened.lastError(), QString());
}

void TestSettingsStore::textsWrittenByQtsOwnIniFormatReadExactly_data()
{
    addTexts();
}

void TestSettingsStore::textsWrittenByQtsOwnIniFormatReadExactly()
{
    QFETCH(QString, text);
    {
        QSettings native(storeFile(), QSettings::IniFormat);
        native.setValue(u"Options/File"_s, text);
        native.setValue(u"Options/Start"_s, u"10.0.0.1"_s);
        native.sync();
        QCOMPARE(native.status(), QSettings::NoError);
    }
    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, kSection, u"File"_s, u"default"_s), text);
    QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, QString()), u"10.0.0.1"_s);
    QCOMPARE(store.lastError(), QString());
}

void TestSettingsStore::handEditedValueReadsAsOneText_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("comma list") << "Path=a, b"_ba << u"a, b"_s;
    QTest::newRow("comma list without blanks") << "Path=1,2,3"_ba << u"1,2,3"_s;
    QTest::newRow("blanks around") << "Path =   a ,  b   "_ba << u"a ,  b"_s;
    QTest::newRow("quoted items") << "Path=\"a\", \"b\""_ba << u"a, b"_s;
    QTest::newRow("quoted blanks kept") << "Path=\"  a  \""_ba << u"  a  "_s;
    QTest::newRow("semicolon in value") << "Path=x ; y"_ba << u"x ; y"_s;
    QTest::newRow("empty") << "Path="_ba << QString();
    QTest::newRow("qt variant form") << "Path=@Invalid()"_ba << u"@Invalid()"_s;
    QTest::newRow("qt byte array form") << "Path=@ByteArray(xy)"_ba << u"@ByteArray(xy)"_s;
    QTest::newRow("qt variant garbage")
        << "Path=@Variant(\\0\\0\\0\\x7f)"_ba
        << u"@Variant("_s + QChar(0) + QChar(0) + QChar(0) + QChar(0x7f) + u')';
    QTest::newRow("unknown escape kept") << "Path=\\q\\"_ba << u"\\q\\"_s;
    QTest::newRow("windows line end") << "Path=abc\r"_ba << u"abc"_s;
    QTest::newRow("unterminated quote ends at line end") << "Path=\"abc, def"_ba << u"abc, def"_s;
    QTest::newRow("utf-8") << "Path=/home/jürgen"_ba << u"/home/jürgen"_s;
}

void TestSettingsStore::handEditedValueReadsAsOneText()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);
    QVERIFY(
        writeAll(storeFile(), "[Options]\n" + line + "\nFile=after.txt\n[Other]\nPath=other\n"));

    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, kSection, u"Path"_s, u"default"_s), expected);
    QCOMPARE(store.readSetting(kApp, kSection, u"File"_s, u"default"_s), u"after.txt"_s);
    QCOMPARE(store.readSetting(kApp, u"Other"_s, u"Path"_s, u"default"_s), u"other"_s);
}

void TestSettingsStore::missingKeyGivesDefault_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("no file") << QByteArray() << kSection << u"Start"_s;
    QTest::newRow("empty file") << ""_ba << kSection << u"Start"_s;
    QTest::newRow("key in another section")
        << "[Other]\nStart=1.2.3.4\n"_ba << kSection << u"Start"_s;
    QTest::newRow("keys differ in case")
        << "[Options]\nstart=1.2.3.4\n"_ba << kSection << u"Start"_s;
    QTest::newRow("commented out")
        << "[Options]\n;Start=1.2.3.4\n#Start=5\n"_ba << kSection << u"Start"_s;
    QTest::newRow("top level key is not in a section")
        << "Start=1.2.3.4\n"_ba << kSection << u"Start"_s;
}

void TestSettingsStore::missingKeyGivesDefault()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    if (!file.isNull())
        QVERIFY(writeAll(storeFile(), file));

    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, section, key, u"0.0.0.0"_s), u"0.0.0.0"_s);
    QCOMPARE(store.readSetting(kApp, section, key, u"1"_s), u"1"_s);
    QCOMPARE(store.lastError(), QString());
    QCOMPARE(QFile::exists(storeFile()), !file.isNull());
}

void TestSettingsStore::storeLivesInConfigFolderUnderApplicationName()
{
    QCOMPARE(QSettingsStore::fileName(kApp), storeFile());
    {
        const auto store = createSystemSettingsStore();
        QVERIFY(store->writeSetting(kApp, kSection, u"Start"_s, u"10.0.0.255"_s));
        QVERIFY(store->writeSetting(u"Other"_s, kSection, u"Start"_s, u"1.1.1.1"_s));
        QVERIFY(store->flush());
    }
    const SettingsFileContents contents = parseSettingsFile(readAll(storeFile()));
    QCOMPARE(contents.values.value(u"Options/Start"_s).toString(), u"10.0.0.255"_s);
    QCOMPARE(contents.values.size(), 1);
    QVERIFY(readAll(storeFile()).startsWith("[Options]\n"));
    QVERIFY(QFile::exists(configHome() + u"/Other/Other.conf"_s));
}

void TestSettingsStore::otherKeysSurviveAWrite()
{
    QVERIFY(writeAll(storeFile(), "[General]\ntop=1\n[Options]\nIP_0=10.0.0.1\nDesc_0=router, "
                                  "upstairs\n[Zeta]\nz=\"  z  \"\n"));
    {
        QSettingsStore store;
        QVERIFY(store.writeSetting(kApp, kSection, u"Start"_s, u"1.2.3.4"_s));
        QVERIFY(store.writeSetting(kApp, kSection, u"IP_0"_s, u"10.0.0.2"_s));
        QVERIFY(store.flush());
    }
    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, QString(), u"top"_s, {}), u"1"_s);
    QCOMPARE(store.readSetting(kApp, kSection, u"IP_0"_s, {}), u"10.0.0.2"_s);
    QCOMPARE(store.readSetting(kApp, kSection, u"Desc_0"_s, {}), u"router, upstairs"_s);
    QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, {}), u"1.2.3.4"_s);
    QCOMPARE(store.readSetting(kApp, u"Zeta"_s, u"z"_s, {}), u"  z  "_s);
}

void TestSettingsStore::unreadableLinesAreReported_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<int>>("damaged");
    QTest::addColumn<QStringList>("readable");
    QTest::newRow("clean") << "; note\n[Options]\n\nA=1\n"_ba << QList<int>{}
                           << QStringList{u"A"_s};
    QTest::newRow("line without equals")
        << "[Options]\nA=1\njunk\nB=2\n"_ba << QList<int>{3} << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("empty key") << "[Options]\n=1\nB=2\n"_ba << QList<int>{2} << QStringList{u"B"_s};
    QTest::newRow("unclosed section") << "[Options\nA=1\n"_ba << QList<int>{1} << QStringList{};
    QTest::newRow("invalid utf-8")
        << "[Options]\nA=\xff\xfe\nB=2\n"_ba << QList<int>{2} << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("binary garbage") << "\x01\x02\x03\n\x7f\x80\x81=\xc3\n[Options]\nB=2\n"_ba
                                    << QList<int>{1, 2} << QStringList{u"B"_s};
}

void TestSettingsStore::unreadableLinesAreReported()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<int>, damaged);
    QFETCH(QStringList, readable);
    const SettingsFileContents contents = parseSettingsFile(file);
    QCOMPARE(contents.damagedLines, damaged);
    for (const QString &key : readable)
        QVERIFY2(contents.values.contains(u"Options/"_s + key), qPrintable(key));

    QVERIFY(writeAll(storeFile(), file));
    QSettingsStore store;
    store.readSetting(kApp, kSection, u"A"_s, {});
    QCOMPARE(store.lastError().isEmpty(), damaged.isEmpty());
}

void TestSettingsStore::damagedFileIsCopiedBeforeRewrite()
{
    const QByteArray original = "[Options]\nStart=10.0.0.1\nthis line is damaged\nFile=a, b\n";
    QVERIFY(writeAll(storeFile(), original));
    {
        QSettingsStore store;
        QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, {}), u"10.0.0.1"_s);
        QVERIFY(store.lastError().contains(storeFile()));
        QVERIFY(store.writeSetting(kApp, kSection, u"Stop"_s, u"10.0.0.9"_s));
        QVERIFY(store.flush());
    }
    QCOMPARE(readAll(storeFile() + u".bak"_s), original);
    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, {}), u"10.0.0.1"_s);
    QCOMPARE(store.readSetting(kApp, kSection, u"File"_s, {}), u"a, b"_s);
    QCOMPARE(store.readSetting(kApp, kSection, u"Stop"_s, {}), u"10.0.0.9"_s);
    QCOMPARE(store.lastError(), QString());
}

void TestSettingsStore::unwritableStoreFailsClearly_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<QString>("reason");
    QTest::newRow("store file is a folder") << storeFile() << u"is a folder"_s;
    QTest::newRow("store folder is a file")
        << configHome() + u"/Corvane"_s << u"cannot be created"_s;
}

void TestSettingsStore::unwritableStoreFailsClearly()
{
    QFETCH(QString, blocker);
    QFETCH(QString, reason);
    if (blocker == storeFile())
        QVERIFY(QDir().mkpath(blocker));
    else
        QVERIFY(writeAll(blocker, "not a folder\n"));

    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, u"0.0.0.0"_s), u"0.0.0.0"_s);
    QVERIFY(!store.writeSetting(kApp, kSection, u"Start"_s, u"1.2.3.4"_s));
    QVERIFY(!store.writeSetting(kApp, kSection, u"Stop"_s, u"1.2.3.5"_s));
    QVERIFY2(store.lastError().contains(reason), qPrintable(store.lastError()));
    QVERIFY(store.flush());
    QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, u"0.0.0.0"_s), u"0.0.0.0"_s);
}

void TestSettingsStore::readOnlyFileKeepsItsValues()
{
    const QByteArray original = "[Options]\nStart=10.0.0.1\n";
    QVERIFY(writeAll(storeFile(), original));
    QVERIFY(QFile::setPermissions(configHome() + u"/Corvane"_s,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::ExeOther));
    QVERIFY(
        QFile::setPermissions(storeFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    UnprivilegedFiles unprivileged;
    QSettingsStore store;
    QCOMPARE(store.readSetting(kApp, kSection, u"Start"_s, u"0.0.0.0"_s), u"10.0.0.1"_s);
    QVERIFY(!store.writeSetting(kApp, kSection, u"Start"_s, u"1.2.3.4"_s));
    QVERIFY2(store.lastError().contains(u"cannot be written"_s), qPrintable(store.lastError()));
    QVERIFY(!store.writeSetting(kApp, kSection, u"File"_s, u"x.txt"_s));
    QVERIFY(store.flush());
    QCOMPARE(readAll(storeFile()), original);
}

void TestSettingsStore::flushReportsAFileThatCouldNotBeSaved()
{
    QSettingsStore store;
    QVERIFY(store.writeSetting(kApp, kSection, u"Start"_s, u"1.2.3.4"_s));
    QVERIFY(QDir().mkpath(storeFile()));
    QVERIFY(!store.flush());
    QVERIFY2(store.lastError().contains(u"is a folder"_s), qPrintable(store.lastError()));

    // Once the obstacle is gone, the value still waiting is saved.
    QVERIFY(QDir(storeFile()).removeRecursively());
    QVERIFY(store.flush());
    QCOMPARE(parseSettingsFile(readAll(storeFile())).values.value(u"Options/Start"_s).toString(),
             u"1.2.3.4"_s);
}

void TestSettingsStore::unusableNamesAreRefused_data()
{
    QTest::addColumn<QString>("application");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("empty application") << QString() << kSection << u"Start"_s;
    QTest::newRow("application climbs out") << u".."_s << kSection << u"Start"_s;
    QTest::newRow("application with path") << u"../../etc/x"_s << kSection << u"Start"_s;
    QTest::newRow("empty key") << kApp << kSection << QString();
    QTest::newRow("key with slash") << kApp << kSection << u"a/b"_s;
    QTest::newRow("section with backslash") << kApp << u"a\\b"_s << u"Start"_s;
}

void TestSettingsStore::unusableNamesAreRefused()
{
    QFETCH(QString, application);
    QFETCH(QString, section);
    QFETCH(QString, key);
    const QStringList before =
        QDir(configHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QSettingsStore store;
    QCOMPARE(store.readSetting(application, section, key, u"default"_s), u"default"_s);
    QVERIFY(!store.writeSetting(application, section, key, u"value"_s));
    QVERIFY(!store.lastError().isEmpty());
    QVERIFY(store.flush());
    QCOMPARE(QDir(configHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
