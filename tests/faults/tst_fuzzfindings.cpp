// Inputs the fuzzers (fuzz/) found faults with, kept as named rows so the
// faults stay fixed in every build, with or without clang.

#include "mainwindowrules.h"
#include "mainwindowsettings.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFuzzFindings : public QObject
{
    Q_OBJECT

private slots:
    void storedNumbersWithLineBreaks_data();
    void storedNumbersWithLineBreaks();
};

void TestFuzzFindings::storedNumbersWithLineBreaks_data()
{
    QTest::addColumn<QString>("text");

    // fuzz/corpus/fuzz_settingvalues/number-then-line-break: "$" in the
    // number pattern matched before the final line break.
    QTest::newRow("zero then line break") << u" 0\n"_s;
    QTest::newRow("one then line break") << u"1\n"_s;
    QTest::newRow("two then CR LF") << u"2\r\n"_s;
    QTest::newRow("line break between spaces") << u" 1 \n"_s;
    QTest::newRow("fraction then line break") << u"0.5\n"_s;
}

void TestFuzzFindings::storedNumbersWithLineBreaks()
{
    QFETCH(QString, text);
    QCOMPARE(settingToInteger(text), std::nullopt);
    QCOMPARE(checkStateFromSetting(text), std::nullopt);
}

QTEST_GUILESS_MAIN(TestFuzzFindings)
#include "tst_fuzzfindings.moc"
