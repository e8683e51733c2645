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

} // namespace

// The icon from the installed theme when it can be drawn, else the bundled
// images, which are the committed ones at every size.
class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void themeOrBundledIcon_data();
    void themeOrBundledIcon();

private:
    QString m_committed = qEnvironmentVariable("CORVANE_SOURCE_DIR") + u"/data/icons"_s;
    QTemporaryDir m_stage;
    QByteArray m_hicolorIndex = readFile(u"/usr/share/icons/hicolor/index.theme"_s);
};

void TestAppIcon::initTestCase()
{
    // The icons exactly as `cmake --install` lays them out.
    QCOMPARE(QProcess::execute(QString::fromUtf8(CORVANE_CMAKE_COMMAND),
                               {u"--install"_s, QString::fromUtf8(CORVANE_BUILD_DIR), u"--prefix"_s,
                                m_stage.path(), u"--component"_s, u"desktop"_s}),
             0);
    if (m_hicolorIndex.isEmpty())
        QSKIP("no hicolor index.theme (package hicolor-icon-theme)");
}

void TestAppIcon::themeOrBundledIcon_data()
{
    QTest::addColumn<QString>("theme"); // "installed", "none" or "hicolor"
    QTest::addColumn<QByteArray>("themeFile");
    QTest::addColumn<int>("size");
    QTest::newRow("installed theme icon preferred, tray size")
        << u"installed"_s << QByteArray() << 16;
    QTest::newRow("no theme folders") << u"none"_s << QByteArray() << 0;
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
    const QList<int> sizes = size ? QList<int>{size} : QList<int>{16, 22, 24, 32, 48, 64, 128, 256};
    for (const int each : sizes) {
        const QImage expected(image(theme == u"installed" ? root : m_committed, each));
        QCOMPARE(expected.size(), QSize(each, each));
        QCOMPARE(normalised(icon.pixmap(each).toImage()), normalised(expected));
    }
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
