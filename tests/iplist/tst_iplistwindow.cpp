#include "dialoganswerer.h"
#include "iplistfiles.h"
#include "iplistgrid.h"
#include "iplistwindow.h"
#include "widgetlookup.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWindow>

using namespace Qt::StringLiterals;

class TestIpListWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;
    std::unique_ptr<EchoProber> m_prober = createSystemEchoProber();
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<IpListWindow> m_form;

    void clickCell(int row, int column, Qt::MouseButton button = Qt::LeftButton)
    {
        grid()->scrollToItem(grid()->item(row, column)); // only a cell in view can be clicked
        QTest::mouseClick(grid()->viewport(), button, {},
                          grid()->visualItemRect(grid()->item(row, column)).center());
    }
    QString mark(int row) const { return grid()->cellText(row, kMarkerColumn); }
    IpListGrid *grid() const { return child<IpListGrid>(m_form, "grid"); }
    QLineEdit *editor() const { return child<QLineEdit>(m_form, "cellEditor"); }
    bool editBoxOver(int row, int column) const
    {
        return editor()->isVisible() && grid()->currentRow() == row &&
               grid()->currentColumn() == column &&
               editor()->geometry() == grid()->cellRect(row, column, m_form.get());
    }

private slots:
    void init()
    {
        QVERIFY(usePrivateConfig(m_config));
        if (!m_prober->isAvailable())
            QSKIP(qPrintable(u"echo requests cannot be sent here: "_s +
                             m_prober->unavailableReason()));
        // Loopback rows answer; a name and a leading blank are not sent.
        putOnDisk(keysOf({{u"127.0.0.1"_s, u"this machine"_s},
                          {u"not an address"_s, u"name\tonly"_s},
                          {u"127.000.000.010"_s, QString()},
                          {u" 127.0.0.3"_s, QString(40000, u'd')}}));
        m_store = createSystemSettingsStore();
        int hourglasses = 0;
        connect(m_prober.get(), &EchoProber::finished, this, [&] {
            const QCursor *cursor = QApplication::overrideCursor();
            hourglasses += cursor && cursor->shape() == Qt::WaitCursor;
        });
        m_form = std::make_unique<IpListWindow>(*m_store, *m_prober);
        disconnect(m_prober.get(), nullptr, this, nullptr);
        QCOMPARE(hourglasses, 2); // one per row sent
        QVERIFY(!QApplication::overrideCursor());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    void cleanup() { m_form.reset(); }

    void editingWithMouseAndKeys()
    {
        QCOMPARE(grid()->rowCount(), kIpListSlotCount);
        QCOMPARE((QStringList{mark(0), mark(1), mark(2), mark(3), mark(99)}),
                 (QStringList{u"X"_s, {}, u"X"_s, {}, {}}));
        QVERIFY(editBoxOver(0, kIpNumberColumn) && editor()->hasFocus());
        QCOMPARE(editor()->text(), u"127.0.0.1"_s);

        clickCell(3, kDescriptionColumn); // every stored text passes through the edit box unchanged
        clickCell(1, kDescriptionColumn);
        QTest::keyClicks(editor(), u" upstairs"_s);
        for (const auto key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Down})
            QTest::keyClick(editor(), key);
        QVERIFY(editBoxOver(1, kDescriptionColumn));
        clickCell(0, kMarkerColumn, Qt::RightButton);
        QCOMPARE(grid()->cellText(1, kDescriptionColumn), u"name\tonly upstairs"_s);
        QVERIFY(editBoxOver(0, kMarkerColumn));
        QTest::keyClicks(editor(), u"zz"_s);
        clickCell(1, kIpNumberColumn);
        QCOMPARE(mark(0), u"X"_s);
        editor()->selectAll();
        QTest::keyClicks(editor(), u"127.0.0.1"_s);

        // A focus loss that no mouse press caused moves on to the next cell.
        editor()->clearFocus(); // the one after the click
        editor()->setFocus(Qt::OtherFocusReason);
        editor()->clearFocus();
        QVERIFY(editBoxOver(1, kDescriptionColumn) && editor()->hasFocus());
        QTest::keyClick(editor(), Qt::Key_F5);
        QCOMPARE((QStringList{mark(0), mark(1)}), (QStringList{u"X"_s, u"X"_s}));

        DialogAnswerer answerer;
        QTest::keyClick(editor(), Qt::Key_F5, Qt::ShiftModifier);
        QCOMPARE(answerer.seen().size(), 1);
        const SeenDialog &box = answerer.seen().first();
        QCOMPARE(u"%1|%2|%3"_s.arg(box.title, box.text).arg(int(box.icon)),
                 u"Corvane|Feature not available yet.|0"_s);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.parent, m_form.get());
        QVERIFY(editBoxOver(1, kDescriptionColumn));

        QTest::keyClicks(editor(), u" new"_s);
        QTest::keyClick(editor(), Qt::Key_Escape, Qt::ShiftModifier);
        QVERIFY(!m_form->isVisible());
        QCOMPARE(listOnDisk().value(u"IP_1"_s), u"127.0.0.1"_s);
        QCOMPARE(listOnDisk().value(u"Desc_1"_s), u"name\tonly upstairs new"_s);
        QCOMPARE(listOnDisk().value(u"Desc_3"_s).size(), 40000);

        putOnDisk({}); // closed once: a second close stores nothing
        m_form->reject();
        QCOMPARE(listOnDisk(), KeyValues());
    }

    // The close box stores as Esc does; where that fails the user may keep the
    // list open or let it go.
    void saveFailureAsksBeforeLosingTheList()
    {
        clickCell(2, kDescriptionColumn);
        QTest::keyClicks(editor(), u"precious"_s);
        // A folder where the settings file was: nothing can be written, as root too.
        const QString file = m_config.path() + u"/Corvane/Corvane.conf"_s;
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        DialogAnswerer answerer({QMessageBox::Cancel, QMessageBox::Discard});
        m_form->windowHandle()->close();
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen().first().icon, QMessageBox::Warning);
        QVERIFY2(answerer.seen().first().text.contains(file), qPrintable(answerer.texts().first()));
        QVERIFY(m_form->isVisible() && editBoxOver(2, kDescriptionColumn));
        QCOMPARE(editor()->text(), u"precious"_s);
        QTest::keyClick(editor(), Qt::Key_Escape);
        QCOMPARE(answerer.seen().size(), 2);
        QVERIFY(!m_form->isVisible());
    }

    // What is typed is seen: once the wheel scrolls the edit box away, typing does
    // nothing until a click lays it over a cell again; the window's keys still work.
    void scrollHidesEditBox()
    {
        QWindow *window = m_form->windowHandle();
        QTest::keyClick(window, 'a');
        QWidget *viewport = grid()->viewport();
        const QPointF at = viewport->rect().center();
        QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        QVERIFY(grid()->verticalScrollBar()->value() > 0 && !editor()->isVisible());
        for (const auto key : {Qt::Key_Z, Qt::Key_Backspace})
            QTest::keyClick(window, key);
        QInputMethodEvent composed;
        composed.setCommitString(u"zz"_s);
        QApplication::sendEvent(QGuiApplication::focusObject(), &composed);
        QCOMPARE(editor()->text(), u"127.0.0.1a"_s);
        QTest::keyClick(window, Qt::Key_F5);
        QCOMPARE(mark(0), QString());
        clickCell(97, kIpNumberColumn);
        QVERIFY(editBoxOver(97, kIpNumberColumn));
    }
};

QTEST_MAIN(TestIpListWindow)
#include "tst_iplistwindow.moc"
