#include "appicon.h"
#include "testfiles.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

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
    QTemporaryDir m_rendered;
    QByteArray m_hicolorIndex = readFile(u"/usr/share/icons/hicolor/index.theme"_s);
};

void TestAppIcon::initTestCase()
{
    QVERIFY(m_stage.isValid() && m_rendered.isValid());
    // The icons exactly as `cmake --install` lays them out.
    QVERIFY(runs(QString::fromUtf8(CORVANE_CMAKE_COMMAND),
                 {u"--install"_s, QString::fromUtf8(CORVANE_BUILD_DIR), u"--prefix"_s,
                  m_stage.path(), u"--component"_s, u"desktop"_s}));
    // The drawings rendered afresh, to compare with the committed images.
    if (!QStandardPaths::findExecutable(u"rsvg-convert"_s).isEmpty())
        QVERIFY(runs(m_committed + u"/render-icons.sh"_s, {m_rendered.path()}));
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
    // A round badge: clear corners, an opaque middle.
    QCOMPARE(qAlpha(committed.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(committed.pixel(size / 2, size / 2)), 255);
    QCOMPARE(normalised(bundledCorvaneIcon().pixmap(size).toImage()), committed);

    const QImage fresh = normalised(QImage(image(m_rendered.path(), size)));
    if (fresh.isNull())
        QSKIP("rsvg-convert (package librsvg2-bin) is needed to render the drawings");
    QCOMPARE(fresh.size(), committed.size());
    // Another renderer may shade edges slightly differently; a changed drawing differs more.
    qsizetype differing = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (const int shift : {0, 8, 16, 24})
                differing += std::abs(int(fresh.pixel(x, y) >> shift & 0xFF) -
                                      int(committed.pixel(x, y) >> shift & 0xFF)) > 24;
    QVERIFY2(differing * 500 <= size * size, "out of date: run data/icons/render-icons.sh");
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
