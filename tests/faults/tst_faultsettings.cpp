// A settings file that is damaged, a folder or read-only when the program
// starts: start-up takes what can be read and the defaults for the rest,
// and the close sequence neither crashes nor destroys what the file held.

#include "dirlist.h"
#include "faultmain.h"
#include "faultwindow.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "qsettingsstore.h"
#include "settingsfileformat.h"
#include "widgetlookup.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QString settingsFile()
{
    return QSettingsStore::fileName(u"Corvane"_s);
}

} // namespace

class TestFaultSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void damagedFile_data();
    void damagedFile();
    void fileIsAFolder();
    void readOnlyFileIsLeftAsItWas();

private:
    QString m_mounted;
};

void TestFaultSettings::init()
{
    const QString folder = QFileInfo(settingsFile()).path();
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(folder));
}

void TestFaultSettings::cleanup()
{
    if (!m_mounted.isEmpty())
        unmount(std::exchange(m_mounted, QString()));
}

void TestFaultSettings::damagedFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<Qt::CheckState>("enabled");

    QTest::newRow("garbage between readable lines")
        << "[Options]\nStart=10.1.1.1\n\xff\xfe\x01 not a setting\nStop=10.1.1.9\n=no key\n"
           "Enabled=0\n[broken\nOverwrite=0\n"_ba
        << u"10.1.1.1"_s << u"10.1.1.9"_s << Qt::Unchecked;
    QTest::newRow("binary zeros only")
        << QByteArray(512, '\0') << u"0.0.0.0"_s << u"255.255.255.255"_s << Qt::Checked;
    QTest::newRow("invalid UTF-8 in a value")
        << "[Options]\nStart=10.0.0.\xc3\x28\nStop=10.0.0.9\n"_ba << QString() << u"10.0.0.9"_s
        << Qt::Checked;
    QTest::newRow("stored Enabled with a line break leaves the box checked")
        << "[Options]\nEnabled=0\\n\n"_ba << u"0.0.0.0"_s << u"255.255.255.255"_s << Qt::Checked;
    QTest::newRow("a megabyte on one line")
        << "[Options]\nStop=10.0.0.9\nFile="_ba + QByteArray(1 << 20, 'x') + "\nStart=10.0.0.1\n"_ba
        << u"10.0.0.1"_s << u"10.0.0.9"_s << Qt::Checked;
}

void TestFaultSettings::damagedFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(Qt::CheckState, enabled);
    QVERIFY(writeAll(settingsFile(), contents));

    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    MainWindow *form = window.form();
    QCOMPARE(child<IpAddressEdit>(form, "startAddressEdit")->text(), start);
    QCOMPARE(child<IpAddressEdit>(form, "stopAddressEdit")->text(), stop);
    QCOMPARE(child<QCheckBox>(form, "logEnabledCheck")->checkState(), enabled);
    QCOMPARE(child<QCheckBox>(form, "overwriteCheck")->checkState(), Qt::Checked);

    child<IpAddressEdit>(form, "startAddressEdit")->setText(u"10.7.7.7"_s);
    const QString path = child<DirList>(form, "folderTree")->path();
    window.closeAndDestroy();

    // The close wrote every key, and what could not be read survives in the copy.
    const SettingsFileContents saved = parseSettingsFile(readAll(settingsFile()));
    QCOMPARE(saved.values.value(u"Options/Start"_s).toString(), u"10.7.7.7"_s);
    QCOMPARE(saved.values.value(u"Options/Stop"_s).toString(), stop);
    QCOMPARE(saved.values.value(u"Options/Path"_s).toString(), path);
    QCOMPARE(saved.values.value(u"Options/Enabled"_s).toString(),
             enabled == Qt::Checked ? u"1"_s : u"0"_s);
    QCOMPARE(saved.values.value(u"Options/Overwrite"_s).toString(), u"1"_s);
    if (!parseSettingsFile(contents).damagedLines.isEmpty())
        QCOMPARE(readAll(settingsFile() + u".bak"_s), contents);
}

void TestFaultSettings::fileIsAFolder()
{
    QVERIFY(QDir().mkpath(settingsFile()));
    QVERIFY(writeAll(settingsFile() + u"/kept.txt"_s, "kept"));

    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QCOMPARE(child<IpAddressEdit>(window.form(), "startAddressEdit")->text(), u"0.0.0.0"_s);
    QCOMPARE(child<IpAddressEdit>(window.form(), "stopAddressEdit")->text(), u"255.255.255.255"_s);
    QCOMPARE(child<QLineEdit>(window.form(), "logFileEdit")->text(), u"ipnums.txt"_s);
    child<IpAddressEdit>(window.form(), "startAddressEdit")->setText(u"10.7.7.7"_s);
    window.closeAndDestroy();

    QVERIFY(QFileInfo(settingsFile()).isDir());
    QCOMPARE(readAll(settingsFile() + u"/kept.txt"_s), QByteArray("kept"));
    QVERIFY(!window.settings().lastError().isEmpty());
}

void TestFaultSettings::readOnlyFileIsLeftAsItWas()
{
    if (geteuid() != 0)
        QSKIP("needs root for a read-only bind mount");
    const QByteArray stored = "[Options]\nStart=10.3.3.3\nStop=10.3.3.9\nEnabled=0\nOverwrite=2\n";
    QVERIFY(writeAll(settingsFile(), stored));
    const QString problem = bindReadOnly(settingsFile());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    m_mounted = settingsFile();

    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QCOMPARE(child<IpAddressEdit>(window.form(), "startAddressEdit")->text(), u"10.3.3.3"_s);
    QCOMPARE(child<QCheckBox>(window.form(), "logEnabledCheck")->checkState(), Qt::Unchecked);
    QCOMPARE(child<QCheckBox>(window.form(), "overwriteCheck")->checkState(), Qt::PartiallyChecked);
    child<IpAddressEdit>(window.form(), "startAddressEdit")->setText(u"10.7.7.7"_s);
    child<QCheckBox>(window.form(), "logEnabledCheck")->setChecked(true);
    window.closeAndDestroy();

    QCOMPARE(readAll(settingsFile()), stored);
    QVERIFY2(window.settings().lastError().contains(u"Read-only"_s),
             qPrintable(window.settings().lastError()));
}

int main(int argc, char **argv)
{
    // Root only for the read-only case, which skips itself otherwise.
    return runFaultTest<TestFaultSettings>(argc, argv, {nullptr, geteuid() == 0});
}

#include "tst_faultsettings.moc"
