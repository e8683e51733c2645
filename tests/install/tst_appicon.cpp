#include "appicon.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The theme's icon when it can be drawn, else the bundled images: the committed ones at every size.
class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void themeOrBundledIcon_data()
    {
        QTest::addColumn<QByteArray>("themeFile"); // null: no theme folder at all
        QTest::addColumn<int>("size");             // 0: every bundled size
        QImage red(16, 16, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QBuffer png;
        QVERIFY(png.open(QIODevice::WriteOnly) && red.save(&png, "PNG"));
        QTest::newRow("a drawable theme icon is preferred") << png.data() << 16;
        QTest::newRow("no theme folders") << QByteArray() << 0;
        QTest::newRow("theme file not an image") << "<html>not found</html>"_ba << 32;
        QTest::newRow("theme file cut short") << png.data().first(16) << 16;
    }

    void themeOrBundledIcon()
    {
        QFETCH(QByteArray, themeFile);
        QFETCH(int, size);
        const QByteArray index = readFile(u"/usr/share/icons/hicolor/index.theme"_s);
        if (index.isEmpty())
            QSKIP("no hicolor index.theme (package hicolor-icon-theme)");
        const QString image = u"%1/hicolor/%2x%2/apps/corvane.png"_s;
        QTemporaryDir folder; // a theme of the test's own: an installed icon cannot stand in
        QVERIFY(themeFile.isNull() ||
                (QDir(folder.path()).mkpath(u"hicolor/%1x%1/apps"_s.arg(size)) &&
                 writeFile(folder.filePath(u"hicolor/index.theme"_s), index) &&
                 writeFile(image.arg(folder.path()).arg(size), themeFile)));
        QIcon::setThemeName(u"hicolor"_s);
        QIcon::setThemeSearchPaths(themeFile.isNull() ? QStringList() : QStringList{folder.path()});
        const QIcon icon = corvaneIcon();
        const QImage themed = QImage::fromData(themeFile);
        QCOMPARE(icon.name(), themed.isNull() ? QString() : u"corvane"_s);
        const QString committed = qEnvironmentVariable("CORVANE_SOURCE_DIR") + u"/data/icons"_s;
        for (const int each : size ? QList{size} : QList{16, 22, 24, 32, 48, 64, 128, 256}) {
            // Premultiplied on both sides: a pixmap comes back so, and converting back would round.
            const QImage expected =
                (themed.isNull() ? QImage(image.arg(committed).arg(each)) : themed)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QCOMPARE(expected.size(), QSize(each, each));
            QCOMPARE(icon.pixmap(each).toImage().convertToFormat(expected.format()), expected);
        }
    }
};

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
