#include "appicon.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
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

// The icon from the icon theme when it can be drawn, else the bundled images,
// which are the committed ones at every size.
class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void themeOrBundledIcon_data();
    void themeOrBundledIcon();

private:
    QString m_committed = qEnvironmentVariable("CORVANE_SOURCE_DIR") + u"/data/icons"_s;
    QByteArray m_hicolorIndex = readFile(u"/usr/share/icons/hicolor/index.theme"_s);
};

void TestAppIcon::themeOrBundledIcon_data()
{
    QTest::addColumn<QByteArray>("themeFile"); // null: no theme folder at all
    QTest::addColumn<int>("size");             // 0: every bundled size
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QBuffer png;
    QVERIFY(png.open(QIODevice::WriteOnly) && red.save(&png, "PNG"));
    QTest::newRow("a drawable theme icon is preferred") << png.data() << 16;
    QTest::newRow("no theme folders") << QByteArray() << 0;
    QTest::newRow("theme file empty") << ""_ba << 16;
    QTest::newRow("theme file not an image") << "<html>not found</html>"_ba << 32;
    QTest::newRow("theme file cut short")
        << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) << 16;
}

void TestAppIcon::themeOrBundledIcon()
{
    QFETCH(QByteArray, themeFile);
    QFETCH(int, size);
    if (m_hicolorIndex.isEmpty())
        QSKIP("no hicolor index.theme (package hicolor-icon-theme)");
    // A theme folder of the test's own, so that an icon installed on this
    // machine cannot stand in for the one under test.
    QTemporaryDir folder;
    if (!themeFile.isNull())
        QVERIFY(QDir(folder.path()).mkpath(u"hicolor/%1x%1/apps"_s.arg(size)) &&
                writeFile(folder.filePath(u"hicolor/index.theme"_s), m_hicolorIndex) &&
                writeFile(image(folder.path(), size), themeFile));
    QIcon::setThemeName(u"hicolor"_s);
    QIcon::setThemeSearchPaths(themeFile.isNull() ? QStringList() : QStringList{folder.path()});

    const QIcon icon = corvaneIcon();
    const QImage themed = QImage::fromData(themeFile);
    QCOMPARE(icon.name(), themed.isNull() ? QString() : u"corvane"_s);
    for (const int each : size ? QList<int>{size} : QList<int>{16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage expected = themed.isNull() ? QImage(image(m_committed, each)) : themed;
        QCOMPARE(expected.size(), QSize(each, each));
        QCOMPARE(normalised(icon.pixmap(each).toImage()), normalised(expected));
    }
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
