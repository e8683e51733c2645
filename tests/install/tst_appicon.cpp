#include "appicon.h"
#include "testfiles.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString image(const QString &root, int size)
{
    return root + u"/hicolor/%1x%1/apps/corvane.png"_s.arg(size);
}

// Premultiplied on both sides: a pixmap comes back so, and converting back would round.
QImage normalised(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool runs(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void committedImages_data();
    void committedImages();
    void themeOrBundledIcon_data();
    void themeOrBundledIcon();

private:
    QString m_committed = qEnvironmentVariable("CORVANE_SOURCE_DIR") + u"/data/icons"_s;
    QTemporaryDir m_stage;
    QByteArray m_hicolorIndex = readFile(u"/usr/share/icons/hicolor/index.theme"_s);
};

void TestAppIcon::initTestCase()
{
    QVERIFY(m_stage.isValid());
    // The icons exactly as `cmake --install` lays them out.
    QVERIFY(runs(QString::fromUtf8(CORVANE_CMAKE_COMMAND),
                 {u"--install"_s, QString::fromUtf8(CORVANE_BUILD_DIR), u"--prefix"_s,
                  m_stage.path(), u"--component"_s, u"desktop"_s}));
}

void TestAppIcon::committedImages_data()
{
    QTest::addColumn<int>("size");
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void TestAppIcon::committedImages()
{
    QFETCH(int, size);
    const QImage committed = normalised(QImage(image(m_committed, size)));
    QCOMPARE(committed.size(), QSize(size, size));
    QCOMPARE(normalised(bundledCorvaneIcon().pixmap(size).toImage()), committed);
}

void TestAppIcon::themeOrBundledIcon_data()
{
    QTest::addColumn<QString>("theme"); // "installed", "none" or "hicolor"
    QTest::addColumn<QByteArray>("themeFile");
    QTest::addColumn<int>("size");
    QTest::newRow("installed theme icon preferred, tray size")
        << u"installed"_s << QByteArray() << 16;
    QTest::newRow("installed theme icon preferred, largest")
        << u"installed"_s << QByteArray() << 256;
    QTest::newRow("no theme folders") << u"none"_s << QByteArray() << 16;
    QTest::newRow("hicolor without corvane") << u"hicolor"_s << QByteArray() << 32;
    QTest::newRow("theme file empty") << u"hicolor"_s << ""_ba << 16;
    QTest::newRow("theme file not an image") << u"hicolor"_s << "<html>not found</html>"_ba << 32;
    QTest::newRow("theme file cut short")
        << u"hicolor"_s << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) << 16;
}

void TestAppIcon::themeOrBundledIcon()
{
    QFETCH(QString, theme);
    QFETCH(QByteArray, themeFile);
    QFETCH(int, size);
    if (theme != u"none" && m_hicolorIndex.isEmpty())
        QSKIP("no hicolor index.theme (package hicolor-icon-theme)");
    // Each theme folder gets its own index, so that an icon installed on this
    // machine cannot stand in for the one under test.
    QTemporaryDir folder;
    const QString root = theme == u"installed" ? m_stage.path() + u"/share/icons"_s : folder.path();
    QVERIFY(QDir(root).mkpath(u"hicolor"_s) &&
            writeFile(root + u"/hicolor/index.theme"_s, m_hicolorIndex));
    if (!themeFile.isNull())
        QVERIFY(QDir(root).mkpath(u"hicolor/%1x%1/apps"_s.arg(size)) &&
                writeFile(image(root, size), themeFile));
    QIcon::setThemeName(u"hicolor"_s);
    QIcon::setThemeSearchPaths(theme == u"none" ? QStringList() : QStringList{root});

    const QIcon icon = corvaneIcon();
    QCOMPARE(icon.name(), theme == u"installed" ? u"corvane"_s : QString());
    QCOMPARE(normalised(icon.pixmap(size).toImage()),
             normalised(QImage(image(theme == u"installed" ? root : m_committed, size))));
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
