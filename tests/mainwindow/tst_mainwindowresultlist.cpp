#include "resultlistdelegate.h"

#include <QFontMetrics>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMainWindowResultList : public QObject
{
    Q_OBJECT

private slots:
    void fieldPositions_data();
    void fieldPositions();
    void paintsFieldsAtTheirStops();
    void wideLinesScrollOverTheExtent();
};

namespace {

QFont listFont()
{
    QFont font(u"MS Sans Serif"_s);
    font.setPointSizeF(8.25);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The first column (from the left) at or after @p from that holds a dark pixel.
int firstInkColumn(const QImage &image, int from, int to)
{
    for (int x = from; x < to && x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qGray(image.pixel(x, y)) < 128)
                return x;
        }
    }
    return -1;
}

} // namespace

void TestMainWindowResultList::fieldPositions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<int>>("positions");

    const QList<int> stops{105, 450};
    QTest::newRow("address and stamp") << u"10.0.0.5\t12/05/26 03:26:08 pm"_s << QList<int>{0, 105};
    QTest::newRow("address, name and stamp")
        << u"10.0.0.5\thost.example\t12/05/26 03:26:08 pm"_s << QList<int>{0, 105, 450};
    QTest::newRow("empty name keeps the stamp at the second stop")
        << u"10.0.0.5\t\t12/05/26 03:26:08 pm"_s << QList<int>{0, 105, 450};
    QTest::newRow("no tab is one field") << u"10.0.0.5"_s << QList<int>{0};
    QTest::newRow("a name past the second stop moves on")
        << u"1\t"_s + QString(120, u'W') + u"\tx"_s << QList<int>{0, 105, -1};
}

void TestMainWindowResultList::fieldPositions()
{
    QFETCH(QString, line);
    QFETCH(QList<int>, positions);

    const QFontMetrics metrics(listFont());
    const QList<int> stops{105, 450};
    const QList<int> result = ResultListDelegate::fieldPositions(line, metrics, stops);
    QCOMPARE(result.size(), positions.size());
    for (qsizetype i = 0; i < positions.size(); ++i) {
        if (positions.at(i) >= 0) {
            QCOMPARE(result.at(i), positions.at(i));
        } else {
            // Beyond the last stop: after the text before it, on the stops'
            // repeating interval.
            const int end =
                result.at(i - 1) + metrics.horizontalAdvance(line.split(u'\t').at(i - 1));
            QVERIFY(result.at(i) > end);
            QCOMPARE((result.at(i) - 450) % (450 - 105), 0);
        }
    }
}

void TestMainWindowResultList::paintsFieldsAtTheirStops()
{
    QListWidget list;
    list.setFont(listFont());
    auto *delegate = new ResultListDelegate(&list);
    delegate->setTabStops({70, 300});
    delegate->setExtent(600);
    list.setItemDelegate(delegate);
    list.addItem(u"1\tW\tW"_s);

    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.font = listFont();
    option.rect = QRect(0, 0, 600, 20);
    option.state = QStyle::State_Enabled;
    option.palette.setColor(QPalette::Text, Qt::black);
    option.palette.setColor(QPalette::Base, Qt::white);

    QImage image(600, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        delegate->paint(&painter, option, list.model()->index(0, 0));
    }

    const QList<int> stops = delegate->tabStopPixels(QFontMetrics(listFont()));
    QCOMPARE(stops.size(), 2);
    const int margin = ResultListDelegate::kTextMargin;
    const int firstField = firstInkColumn(image, 0, 600);
    const int secondField = firstInkColumn(image, margin + stops.at(0) - 1, 600);
    const int thirdField = firstInkColumn(image, margin + stops.at(1) - 1, 600);
    QVERIFY2(firstField >= 0 && firstField < margin + stops.at(0) - 1,
             "first field not at the left");
    // Glyphs may start a pixel or two right of their origin, never left of it.
    QVERIFY2(secondField >= margin + stops.at(0) - 1 && secondField <= margin + stops.at(0) + 3,
             qPrintable(QString::number(secondField)));
    QVERIFY2(thirdField >= margin + stops.at(1) - 1 && thirdField <= margin + stops.at(1) + 3,
             qPrintable(QString::number(thirdField)));
    QCOMPARE(firstInkColumn(image, margin + stops.at(0) + 12, margin + stops.at(1) - 1), -1);
}

void TestMainWindowResultList::wideLinesScrollOverTheExtent()
{
    QListWidget list;
    list.setFont(listFont());
    list.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    auto *delegate = new ResultListDelegate(&list);
    delegate->setTabStops({70, 300});
    delegate->setExtent(600);
    list.setItemDelegate(delegate);
    list.resize(249, 173);
    list.addItem(u"10.0.0.5\thost\t12/05/26 03:26:08 pm"_s);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QTRY_VERIFY(list.horizontalScrollBar()->maximum() > 0);
    QCOMPARE(list.horizontalScrollBar()->maximum() + list.viewport()->width(), 600);
    QCOMPARE(list.visualRect(list.model()->index(0, 0)).width(), 600);
}

QTEST_MAIN(TestMainWindowResultList)
#include "tst_mainwindowresultlist.moc"
