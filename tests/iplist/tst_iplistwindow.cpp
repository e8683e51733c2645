#include "dialoganswerer.h"
#include "iplistfiles.h"
#include "iplistgrid.h"
#include "iplistwindow.h"
#include "widgetlookup.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QWindow>

using namespace Qt::StringLiterals;

class TestIpListWindow : public QObject
{
    Q_OBJECT

private slots:
    void editingThroughTheGrid()
    {
        QTemporaryDir config;
        QVERIFY(config.isValid() && qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path())));
        const std::unique_ptr<EchoProber> prober = createSystemEchoProber();
        if (!prober->isAvailable())
            QSKIP(
                qPrintable(u"echo requests cannot be sent here: "_s + prober->unavailableReason()));
        // Loopback rows answer; a name and a leading blank are not sent.
        putOnDisk(keysOf({{u"127.0.0.1"_s, u"this machine"_s},
                          {u"not an address"_s, u"name\tonly"_s},
                          {u"127.000.000.010"_s, QString()},
                          {u" 127.0.0.3"_s, QString(40000, u'd')}}));
        const std::unique_ptr<SettingsStore> store = createSystemSettingsStore();
        int hourglasses = 0;
        connect(prober.get(), &EchoProber::finished, this, [&] {
            hourglasses += QApplication::overrideCursor() &&
                           QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        IpListWindow form(*store, *prober);
        disconnect(prober.get(), nullptr, this, nullptr);
        QCOMPARE(hourglasses, 2); // one per row sent
        QVERIFY(!QApplication::overrideCursor());
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *grid = child<IpListGrid>(form, "grid");
        auto *editor = child<QLineEdit>(form, "cellEditor");
        const auto mark = [&](int row) { return grid->cellText(row, kMarkerColumn); };
        const auto click = [&](int row, int column, Qt::MouseButton button = Qt::LeftButton) {
            grid->scrollToItem(grid->item(row, column)); // only a cell in view can be clicked
            QTest::mouseClick(grid->viewport(), button, {},
                              grid->visualItemRect(grid->item(row, column)).center());
        };
        const auto editBoxOver = [&](int row, int column) {
            return editor->isVisible() && grid->currentRow() == row &&
                   grid->currentColumn() == column &&
                   editor->geometry() == grid->cellRect(row, column, &form);
        };
        QCOMPARE(grid->rowCount(), kIpListSlotCount);
        QCOMPARE((QStringList{mark(0), mark(1), mark(2), mark(3), mark(99)}),
                 (QStringList{u"X"_s, {}, u"X"_s, {}, {}}));
        QVERIFY(editBoxOver(0, kIpNumberColumn) && editor->hasFocus());

        // Scrolled away by the wheel, the edit box takes no typing until a click lays it
        // over a cell again; the window's keys still work.
        QTest::keyClick(form.windowHandle(), 'a');
        const QPointF at = grid->viewport()->rect().center();
        QWheelEvent wheel(at, grid->viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &wheel);
        QVERIFY(grid->verticalScrollBar()->value() > 0 && !editor->isVisible());
        for (const auto key : {Qt::Key_Z, Qt::Key_Backspace})
            QTest::keyClick(form.windowHandle(), key);
        QInputMethodEvent composed;
        composed.setCommitString(u"zz"_s);
        QApplication::sendEvent(QGuiApplication::focusObject(), &composed);
        QCOMPARE(editor->text(), u"127.0.0.1a"_s);
        QTest::keyClick(form.windowHandle(), Qt::Key_F5);
        QCOMPARE(mark(0), QString());
        click(97, kIpNumberColumn);
        QVERIFY(editBoxOver(97, kIpNumberColumn));

        // Clicks with either button move the edit box, which carries every stored text
        // unchanged; Tab, Return and Down move nothing.
        click(3, kDescriptionColumn);
        click(1, kDescriptionColumn);
        QTest::keyClicks(editor, u" upstairs"_s);
        for (const auto key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Down})
            QTest::keyClick(editor, key);
        QVERIFY(editBoxOver(1, kDescriptionColumn));
        click(0, kMarkerColumn, Qt::RightButton);
        QCOMPARE(grid->cellText(1, kDescriptionColumn), u"name\tonly upstairs"_s);
        QVERIFY(editBoxOver(0, kMarkerColumn));
        click(1, kIpNumberColumn);
        editor->selectAll();
        QTest::keyClicks(editor, u"127.0.0.1"_s);
        // A focus loss that no mouse press caused moves on to the next cell.
        editor->clearFocus(); // the one after the click
        editor->setFocus(Qt::OtherFocusReason);
        editor->clearFocus();
        QVERIFY(editBoxOver(1, kDescriptionColumn) && editor->hasFocus());
        QTest::keyClick(editor, Qt::Key_F5);
        QCOMPARE(mark(1), u"X"_s);

        DialogAnswerer answerer({QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Discard});
        QTest::keyClick(editor, Qt::Key_F5, Qt::ShiftModifier);
        const SeenDialog box = answerer.seen().value(0);
        QCOMPARE(u"%1|%2|%3"_s.arg(box.title, box.text).arg(int(box.icon)),
                 u"Corvane|Feature not available yet.|0"_s);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.parent, &form);
        QVERIFY(editBoxOver(1, kDescriptionColumn));
        QTest::keyClicks(editor, u" new"_s);

        // The close box stores as Esc does; where that fails (a folder in the settings
        // file's place) the user may keep the list open, or let it go.
        const QString file = config.path() + u"/Corvane/Corvane.conf"_s;
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        form.windowHandle()->close();
        QCOMPARE(answerer.seen().size(), 2);
        QCOMPARE(answerer.seen().at(1).icon, QMessageBox::Warning);
        QVERIFY(answerer.seen().at(1).text.contains(file));
        QVERIFY(form.isVisible() && editBoxOver(1, kDescriptionColumn));
        QCOMPARE(editor->text(), u"name\tonly upstairs new"_s);
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(answerer.seen().size(), 3);
        QVERIFY(!form.isVisible());

        QVERIFY(QDir(file).removeRecursively());
        form.show();
        QTest::keyClick(editor, Qt::Key_Escape, Qt::ShiftModifier);
        QVERIFY(!form.isVisible());
        const KeyValues stored = listOnDisk();
        QCOMPARE(stored.value(u"IP_1"_s), u"127.0.0.1"_s);
        QCOMPARE(stored.value(u"Desc_1"_s), u"name\tonly upstairs new"_s);
        QCOMPARE(stored.value(u"Desc_3"_s).size(), 40000);
        putOnDisk({}); // closed once: a second close stores nothing
        form.reject();
        QCOMPARE(listOnDisk(), KeyValues());
    }
};

QTEST_MAIN(TestIpListWindow)
#include "tst_iplistwindow.moc"
