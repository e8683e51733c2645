#include "appicon.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

const QList<int> kHicolorSizes{16, 22, 24, 32, 48, 64, 128, 256};

QString sourceDir()
{
    return qEnvironmentVariable("CORVANE_SOURCE_DIR");
}

QString committedImage(int size)
{
    return sourceDir() + u"/data/icons/hicolor/%1x%1/apps/corvane.png"_s.arg(size);
}

// A pixmap comes back premultiplied; converting it back would round the colours
// of its translucent edge, so both sides are compared premultiplied.
QImage normalised(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage imageAt(const QIcon &icon, int size)
{
    return normalised(icon.pixmap(QSize(size, size)).toImage());
}

// Pixels whose colour or alpha differs by more than a rounding step: another
// renderer version may shade edges slightly differently, a changed drawing does not.
qsizetype differingPixels(const QImage &a, const QImage &b)
{
    qsizetype count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > 24 || std::abs(qGreen(p) - qGreen(q)) > 24 ||
                std::abs(qBlue(p) - qBlue(q)) > 24 || std::abs(qAlpha(p) - qAlpha(q)) > 24)
                ++count;
        }
    }
    return count;
}

void addSizeRows()
{
    QTest::addColumn<int>("size");
    for (const int size : kHicolorSizes)
        QTest::addRow("%dx%d", size, size) << size;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void bundledIconHoldsEachCommittedImage_data();
    void bundledIconHoldsEachCommittedImage();
    void committedImagesMatchTheDrawings_data();
    void committedImagesMatchTheDrawings();
    void installedThemeIconIsPreferred_data();
    void installedThemeIconIsPreferred();
    void bundledIconWhenTheThemeCannotServe_data();
    void bundledIconWhenTheThemeCannotServe();

private:
    bool addHicolorIndex(const QString &iconsDir) const;

    QTemporaryDir m_stage;
    QTemporaryDir m_rendered;
    QString m_renderError;
    QByteArray m_hicolorIndex;
};

// The hicolor theme's folder list comes from its index.theme, which the
// hicolor-icon-theme package installs. Each test's theme folder gets a copy, so
// that an icon installed on this machine cannot stand in for the one under test.
bool TestAppIcon::addHicolorIndex(const QString &iconsDir) const
{
    return writeFile(iconsDir + u"/hicolor/index.theme"_s, m_hicolorIndex);
}

void TestAppIcon::initTestCase()
{
    QVERIFY2(!sourceDir().isEmpty(), "CORVANE_SOURCE_DIR is not set");
    QVERIFY(m_stage.isValid());

    // The icons exactly as `cmake --install` lays them out.
    QProcess install;
    install.start(QString::fromUtf8(CORVANE_CMAKE_COMMAND),
                  {u"--install"_s, QString::fromUtf8(CORVANE_BUILD_DIR), u"--prefix"_s,
                   m_stage.path(), u"--component"_s, u"desktop"_s});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
             install.readAllStandardError().constData());

    QFile index(u"/usr/share/icons/hicolor/index.theme"_s);
    if (index.open(QIODevice::ReadOnly))
        m_hicolorIndex = index.readAll();

    // The drawings rendered afresh, to compare with the committed images.
    if (QStandardPaths::findExecutable(u"rsvg-convert"_s).isEmpty()) {
        m_renderError = u"rsvg-convert (package librsvg2-bin) is needed to render the drawings"_s;
        return;
    }
    QVERIFY(m_rendered.isValid());
    QProcess render;
    render.start(sourceDir() + u"/data/icons/render-icons.sh"_s, {m_rendered.path()});
    QVERIFY(render.waitForFinished(60000));
    QVERIFY2(render.exitStatus() == QProcess::NormalExit && render.exitCode() == 0,
             render.readAllStandardError().constData());
}

void TestAppIcon::init()
{
    QIcon::setThemeName(u"hicolor"_s);
    QIcon::setThemeSearchPaths({});
}

void TestAppIcon::bundledIconHoldsEachCommittedImage_data()
{
    addSizeRows();
}

void TestAppIcon::bundledIconHoldsEachCommittedImage()
{
    QFETCH(int, size);
    const QImage committed = normalised(QImage(committedImage(size)));
    QVERIFY2(!committed.isNull(), qPrintable(committedImage(size)));
    QCOMPARE(committed.size(), QSize(size, size));
    // A round badge: clear corners, an opaque middle.
    QCOMPARE(qAlpha(committed.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(committed.pixel(size / 2, size / 2)), 255);

    const QIcon bundled = bundledCorvaneIcon();
    QVERIFY(bundled.availableSizes().contains(QSize(size, size)));
    QCOMPARE(imageAt(bundled, size), committed);
}

void TestAppIcon::committedImagesMatchTheDrawings_data()
{
    addSizeRows();
}

void TestAppIcon::committedImagesMatchTheDrawings()
{
    QFETCH(int, size);
    if (!m_renderError.isEmpty())
        QSKIP(qPrintable(m_renderError));

    const QImage fresh =
        normalised(QImage(m_rendered.path() + u"/hicolor/%1x%1/apps/corvane.png"_s.arg(size)));
    const QImage committed = normalised(QImage(committedImage(size)));
    QCOMPARE(fresh.size(), committed.size());
    QVERIFY2(differingPixels(fresh, committed) * 500 <= qsizetype(size) * size,
             "the committed image is out of date: run data/icons/render-icons.sh");
}

void TestAppIcon::installedThemeIconIsPreferred_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("tray size") << 16;
    QTest::newRow("window size") << 32;
    QTest::newRow("launcher size") << 48;
    QTest::newRow("largest") << 256;
}

void TestAppIcon::installedThemeIconIsPreferred()
{
    QFETCH(int, size);
    if (m_hicolorIndex.isEmpty())
        QSKIP("no hicolor index.theme (package hicolor-icon-theme)");
    const QString installedIcons = m_stage.path() + u"/share/icons"_s;
    QVERIFY(addHicolorIndex(installedIcons));
    QIcon::setThemeSearchPaths({installedIcons});

    const QIcon icon = corvaneIcon();
    QCOMPARE(icon.name(), u"corvane"_s);
    const QImage installed =
        normalised(QImage(installedIcons + u"/hicolor/%1x%1/apps/corvane.png"_s.arg(size)));
    QCOMPARE(installed.size(), QSize(size, size));
    QCOMPARE(imageAt(icon, size), installed);
}

void TestAppIcon::bundledIconWhenTheThemeCannotServe_data()
{
    QTest::addColumn<bool>("withTheme");
    QTest::addColumn<QByteArray>("themeFileContent");
    // A null content: the theme holds no corvane icon at all.
    QTest::newRow("no theme folders") << false << QByteArray();
    QTest::newRow("hicolor without corvane") << true << QByteArray();
    QTest::newRow("theme file empty") << true << QByteArray("");
    QTest::newRow("theme file not an image") << true << QByteArray("<html>not found</html>");
    QTest::newRow("theme file cut short")
        << true << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
}

void TestAppIcon::bundledIconWhenTheThemeCannotServe()
{
    QFETCH(bool, withTheme);
    QFETCH(QByteArray, themeFileContent);
    if (withTheme && m_hicolorIndex.isEmpty())
        QSKIP("no hicolor index.theme (package hicolor-icon-theme)");

    QTemporaryDir themeRoot;
    QVERIFY(themeRoot.isValid());
    if (withTheme)
        QVERIFY(addHicolorIndex(themeRoot.path()));
    if (!themeFileContent.isNull()) {
        for (const int size : {16, 32, 48}) {
            const QString file = themeRoot.path() + u"/hicolor/%1x%1/apps/corvane.png"_s.arg(size);
            QVERIFY(writeFile(file, themeFileContent));
        }
    }
    QIcon::setThemeSearchPaths(withTheme ? QStringList{themeRoot.path()} : QStringList{});

    const QIcon icon = corvaneIcon();
    QVERIFY(icon.name().isEmpty());
    for (const int size : {16, 32})
        QCOMPARE(imageAt(icon, size), normalised(QImage(committedImage(size))));
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
