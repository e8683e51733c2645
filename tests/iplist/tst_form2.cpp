#include "form2.h"
#include "iplistcaptionlabel.h"
#include "iplistgrid.h"
#include "iplistrules.h"
#include "iplistsettings.h"
#include "messageboxanswerer.h"
#include "recordingsettingsstore.h"
#include "settingsstore.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>
#include <memory>

using namespace Qt::StringLiterals;

using KeyValues = QMap<QString, QString>;

namespace {

const QString Application = u"Corvane"_s;
const QString Section = u"Options"_s;

QString configFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/Corvane"_s;
}

void putOnDisk(const KeyValues &keys)
{
    const auto store = createSystemSettingsStore();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        QVERIFY(store->WriteSetting(Application, Section, it.key(), it.value()));
    QVERIFY(store->flush());
}

KeyValues listOnDisk()
{
    const auto store = createSystemSettingsStore();
    KeyValues keys;
    for (int i = 0; i < IPListSlotCount; ++i) {
        for (const QString &key : {IPListIPKey(i), IPListDescKey(i)}) {
            const QString a = store->ReadSetting(Application, Section, key, u"<a>"_s);
            const QString b = store->ReadSetting(Application, Section, key, u"<b>"_s);
            if (a == b)
                keys.insert(key, a);
        }
    }
    return keys;
}

KeyValues rowsKeys(const QList<QPair<QString, QString>> &rows)
{
    KeyValues keys;
    for (int i = 0; i < rows.size(); ++i) {
        keys.insert(IPListIPKey(i), rows.at(i).first);
        keys.insert(IPListDescKey(i), rows.at(i).second);
    }
    return keys;
}

// Rows 0 to 5: three that answer on loopback, texts that are no address, and
// descriptions to edit.
const QList<QPair<QString, QString>> SampleRows = {
    {u"127.0.0.1"_s, u"this machine"_s}, {u"not an address"_s, u"name only"_s},
    {u"127.0.0.2"_s, QString()},         {u" 127.0.0.3"_s, u"leading blank"_s},
    {u"127.0.0.4"_s, u"four"_s},         {u"127.0.0.300"_s, u"octet too big"_s},
};

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutAndTexts();
    void descriptionWordOverItsColumn();
    void onlyTheEditBoxTakesFocus();
    void emptyStoreOpens();
    void openingMarks_data();
    void openingMarks();
    void hourglassWhileProbing();
    void typingThenClickingAnotherCell();
    void typingOverMarkerCell_data();
    void typingOverMarkerCell();
    void keysStayInEditBox_data();
    void keysStayInEditBox();
    void refreshKeys_data();
    void refreshKeys();
    void refreshKeepsTextsAndEditBox();
    void refreshOverMarkerCell();
    void featureNotAvailable_data();
    void featureNotAvailable();
    void closeKeys_data();
    void closeKeys();
    void closeBoxSavesAsEscDoes();
    void savedOnceOnClose();
    void typedTextSavedOnClose();
    void reopeningShowsStoredList();
    void saveFailureKeepsListOpen();
    void storedTextsPassThroughEditBox_data();
    void storedTextsPassThroughEditBox();
    void scrollHidesEditBox();
    void focusLossMovesOn_data();
    void focusLossMovesOn();

private:
    Form2 *open();
    void clickCell(int row, int column, Qt::MouseButton button = Qt::LeftButton);
    QString cell(int row, int column) const { return m_form->MSFlexGrid1->cellText(row, column); }
    GridCell current() const;
    bool editBoxOver(int row, int column) const;

    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Form2> m_form;
};

Q_DECLARE_METATYPE(Qt::Key)

void TestForm2::initTestCase()
{
    m_prober = createSystemEchoProber();
    QVERIFY2(m_prober->isAvailable(), qPrintable(m_prober->unavailableReason()));
}

void TestForm2::init()
{
    QDir(configFolder()).removeRecursively();
    m_store = createSystemSettingsStore();
}

void TestForm2::cleanup()
{
    m_form.reset();
    m_store.reset();
}

Form2 *TestForm2::open()
{
    m_form = std::make_unique<Form2>(*m_store, *m_prober);
    m_form->show();
    m_form->activateWindow();
    if (!QTest::qWaitForWindowActive(m_form.get()))
        qWarning("the list window did not become active");
    return m_form.get();
}

void TestForm2::clickCell(int row, int column, Qt::MouseButton button)
{
    IPListGrid *grid = m_form->MSFlexGrid1;
    // Only a cell in view can be clicked.
    grid->scrollToItem(grid->item(row, column));
    QTest::mouseClick(grid->viewport(), button, {},
                      grid->visualItemRect(grid->item(row, column)).center());
}

GridCell TestForm2::current() const
{
    return {m_form->MSFlexGrid1->currentRow(), m_form->MSFlexGrid1->currentColumn()};
}

bool TestForm2::editBoxOver(int row, int column) const
{
    return m_form->Text2->isVisible() &&
           m_form->Text2->geometry() == m_form->MSFlexGrid1->cellRect(row, column, m_form.get()) &&
           current() == GridCell{row, column};
}

void TestForm2::layoutAndTexts()
{
    Form2 *form = open();
    const auto px = [form](int twips) { return qRound(twips * form->logicalDpiX() / 1440.0); };
    const auto py = [form](int twips) { return qRound(twips * form->logicalDpiY() / 1440.0); };

    QCOMPARE(form->windowTitle(), u"Corvane - IP Number List"_s);
    QCOMPARE(form->size(), QSize(px(5760), py(3525)));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!(form->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form->windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(form->windowModality(), Qt::ApplicationModal);

    QCOMPARE(form->Label1->text(), u"IP Number"_s + QString(24, u' ') + u"Description"_s);
    QCOMPARE(form->Label1->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QCOMPARE(form->Label1->geometry(), QRect(px(120), py(0), px(5415), py(255)));
    QCOMPARE(form->Label2->text(),
             u"Press F5 to refresh, F6 to load file, ESC to close this window"_s);
    QCOMPARE(form->Label2->pos(), QPoint(px(120), py(3120)));
    QCOMPARE(form->Label2->height(), py(255));
    // At least as wide as laid out, and wide enough for the whole text.
    QVERIFY(form->Label2->width() >= px(4695));
    QVERIFY(form->Label2->width() >= form->Label2->sizeHint().width());
    QVERIFY(form->Label2->geometry().right() < form->width());

    IPListGrid *grid = form->MSFlexGrid1;
    QCOMPARE(grid->geometry(), QRect(px(120), py(240), px(5535), py(2775)));
    QCOMPARE(grid->rowCount(), 100);
    QCOMPARE(grid->columnCount(), 3);
    QCOMPARE(grid->columnWidth(0), px(1800));
    QCOMPARE(grid->columnWidth(1), px(3100));
    QCOMPARE(grid->columnWidth(2), px(200));
    QVERIFY(grid->horizontalHeader()->isHidden());
    QVERIFY(grid->verticalHeader()->isHidden());
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!form->Text2->hasFrame());
    // All three columns fit beside the scroll bar: no cell is cut.
    QVERIFY(grid->columnViewportPosition(2) + grid->columnWidth(2) <= grid->viewport()->width());
}

void TestForm2::descriptionWordOverItsColumn()
{
    putOnDisk({{u"IP_1"_s, u"IP Number"_s}, {u"Desc_1"_s, u"Description"_s}});
    Form2 *form = open();
    // Where the word number @p word starts in a picture: words are runs of
    // columns with ink, apart by more than a blank's width.
    const auto wordStart = [](const QImage &picture, int word) {
        int gap = picture.width();
        for (int x = 0; x < picture.width(); ++x) {
            bool ink = false;
            for (int y = 0; y < picture.height() && !ink; ++y)
                ink = qGray(picture.pixel(x, y)) < 128;
            if (ink && gap > 10 && word-- == 0)
                return x;
            gap = ink ? 0 : gap + 1;
        }
        return -1;
    };
    const int labelInk = wordStart(form->Label1->grab().toImage(), 1);
    const QRect cellRect = form->MSFlexGrid1->cellRect(1, DescriptionColumn, form);
    const int cellInk = wordStart(form->grab(cellRect).toImage(), 0);
    QVERIFY(labelInk > 0 && cellInk >= 0);
    const int wordX = form->Label1->x() + labelInk;
    const int columnTextX = cellRect.x() + cellInk;
    QVERIFY2(qAbs(wordX - columnTextX) <= 2,
             qPrintable(u"caption word at %1, column text at %2"_s.arg(wordX).arg(columnTextX)));
}

void TestForm2::onlyTheEditBoxTakesFocus()
{
    Form2 *form = open();
    QCOMPARE(QApplication::focusWidget(), form->Text2);
    const QList<QWidget *> children = form->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (child == form->Text2 || !child->isVisibleTo(form))
            continue;
        // The scroll bars take no focus from the keyboard in any style.
        QVERIFY2(!(child->focusPolicy() & Qt::TabFocus), qPrintable(child->objectName()));
    }
    QCOMPARE(form->MSFlexGrid1->focusPolicy(), Qt::NoFocus);
}

void TestForm2::emptyStoreOpens()
{
    Form2 *form = open();
    for (int row = 0; row < 100; ++row)
        for (int column = 0; column < 3; ++column)
            QVERIFY(cell(row, column).isEmpty());
    QCOMPARE(form->Text2->text(), QString());
    QVERIFY(editBoxOver(0, 0));
    QVERIFY(form->Text2->hasFocus());
    QVERIFY(!form->isRefreshing());
}

void TestForm2::openingMarks_data()
{
    QTest::addColumn<QString>("ipNumber");
    QTest::addColumn<QString>("mark");
    QTest::newRow("127.0.0.1 answers") << u"127.0.0.1"_s << u"X"_s;
    QTest::newRow("another loopback address answers") << u"127.0.0.77"_s << u"X"_s;
    QTest::newRow("short form answers") << u"127.1"_s << u"X"_s;
    QTest::newRow("leading zeros answer") << u"127.000.000.010"_s << u"X"_s;
    QTest::newRow("letters get no mark") << u"localhost"_s << QString();
    QTest::newRow("leading blank gets no mark") << u" 127.0.0.1"_s << QString();
    QTest::newRow("octet above 255 gets no mark") << u"127.0.0.256"_s << QString();
}

void TestForm2::openingMarks()
{
    QFETCH(QString, ipNumber);
    QFETCH(QString, mark);
    // The same text in the first, a middle and the last row.
    putOnDisk({{u"IP_0"_s, ipNumber}, {u"IP_50"_s, ipNumber}, {u"IP_99"_s, ipNumber}});
    m_form = std::make_unique<Form2>(*m_store, *m_prober);
    QCOMPARE(cell(0, MarkerColumn), mark);
    QCOMPARE(cell(50, MarkerColumn), mark);
    QCOMPARE(cell(99, MarkerColumn), mark);
    QCOMPARE(cell(1, MarkerColumn), QString());
    QCOMPARE(cell(50, IPNumberColumn), ipNumber);
}

void TestForm2::hourglassWhileProbing()
{
    putOnDisk({{u"IP_0"_s, u"127.0.0.1"_s}});
    QList<Qt::CursorShape> during;
    const auto watch = connect(m_prober.get(), &EchoProber::finished, this, [&] {
        during.append(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                     : Qt::ArrowCursor);
    });
    Form2 *form = open();
    QCOMPARE(during, QList<Qt::CursorShape>{Qt::WaitCursor});
    QVERIFY(!QApplication::overrideCursor());

    QTest::keyClick(form->Text2, Qt::Key_F5);
    QCOMPARE(during, (QList<Qt::CursorShape>{Qt::WaitCursor, Qt::WaitCursor}));
    QVERIFY(!QApplication::overrideCursor());
    disconnect(watch);
}

void TestForm2::typingThenClickingAnotherCell()
{
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();

    clickCell(1, DescriptionColumn);
    QVERIFY(editBoxOver(1, DescriptionColumn));
    QCOMPARE(form->Text2->text(), u"name only"_s);
    QVERIFY(form->skipFocusAdvance());

    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, u"router upstairs"_s);
    // Typing reaches the edit box only.
    QCOMPARE(cell(1, DescriptionColumn), u"name only"_s);

    clickCell(4, IPNumberColumn);
    QCOMPARE(cell(1, DescriptionColumn), u"router upstairs"_s);
    QVERIFY(editBoxOver(4, IPNumberColumn));
    QCOMPARE(form->Text2->text(), u"127.0.0.4"_s);
    QVERIFY(form->Text2->hasFocus());

    QTest::keyClick(form->Text2, Qt::Key_Escape);
    QVERIFY(!form->isVisible());
    QCOMPARE(listOnDisk().value(u"Desc_1"_s), u"router upstairs"_s);
}

void TestForm2::typingOverMarkerCell_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<int>("button");
    QTest::newRow("marked cell, left click away") << 0 << u"X"_s << int(Qt::LeftButton);
    QTest::newRow("unmarked cell, left click away") << 1 << QString() << int(Qt::LeftButton);
    QTest::newRow("marked cell, right click away") << 2 << u"X"_s << int(Qt::RightButton);
}

void TestForm2::typingOverMarkerCell()
{
    QFETCH(int, row);
    QFETCH(QString, mark);
    QFETCH(int, button);
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();

    clickCell(row, MarkerColumn);
    QVERIFY(editBoxOver(row, MarkerColumn));
    QCOMPARE(form->enteredMarker(), mark);
    QCOMPARE(form->Text2->text(), mark);
    QTest::keyClicks(form->Text2, u"zz"_s);
    QCOMPARE(cell(row, MarkerColumn), mark);

    clickCell(4, DescriptionColumn, Qt::MouseButton(button));
    QCOMPARE(cell(row, MarkerColumn), mark);
    QVERIFY(editBoxOver(4, DescriptionColumn));
    // Nothing typed over a marker reaches the store.
    QTest::keyClick(form->Text2, Qt::Key_Escape);
    const KeyValues stored = listOnDisk();
    for (const QString &value : stored)
        QVERIFY(!value.contains(u"zz"_s));
}

void TestForm2::keysStayInEditBox_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Tab") << Qt::Key_Tab << Qt::KeyboardModifiers();
    QTest::newRow("Shift+Tab") << Qt::Key_Backtab << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Enter") << Qt::Key_Return << Qt::KeyboardModifiers();
    QTest::newRow("keypad Enter") << Qt::Key_Enter << Qt::KeyboardModifiers(Qt::KeypadModifier);
    QTest::newRow("Up") << Qt::Key_Up << Qt::KeyboardModifiers();
    QTest::newRow("Down") << Qt::Key_Down << Qt::KeyboardModifiers();
    QTest::newRow("Left") << Qt::Key_Left << Qt::KeyboardModifiers();
    QTest::newRow("Right") << Qt::Key_Right << Qt::KeyboardModifiers();
    QTest::newRow("Page Down") << Qt::Key_PageDown << Qt::KeyboardModifiers();
    QTest::newRow("Ctrl+End") << Qt::Key_End << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void TestForm2::keysStayInEditBox()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    clickCell(2, DescriptionColumn);
    QTest::keyClicks(form->Text2, u"ab"_s);

    for (int i = 0; i < 3; ++i)
        QTest::keyClick(form->Text2, key, modifiers);

    QVERIFY(form->isVisible());
    QVERIFY(editBoxOver(2, DescriptionColumn));
    QVERIFY(form->Text2->hasFocus());
    QCOMPARE(form->Text2->text(), u"ab"_s);
    QCOMPARE(cell(2, DescriptionColumn), QString());
}

void TestForm2::refreshKeys_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("refreshes");
    QTest::newRow("F5") << Qt::Key_F5 << Qt::KeyboardModifiers() << true;
    QTest::newRow("Shift+F4") << Qt::Key_F4 << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
    QTest::newRow("Ctrl+F3") << Qt::Key_F3 << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("Ctrl+F5") << Qt::Key_F5 << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
    QTest::newRow("F4") << Qt::Key_F4 << Qt::KeyboardModifiers() << false;
    QTest::newRow("R") << Qt::Key_R << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
}

void TestForm2::refreshKeys()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, refreshes);
    putOnDisk({{u"IP_0"_s, u"127.0.0.1"_s}, {u"IP_1"_s, u"name"_s}});
    Form2 *form = open();
    QCOMPARE(cell(0, MarkerColumn), u"X"_s);

    // Row 0 now holds a name, row 1 a loopback address: only a refresh can
    // tell.
    form->MSFlexGrid1->setCellText(0, IPNumberColumn, u"name"_s);
    form->MSFlexGrid1->setCellText(1, IPNumberColumn, u"127.0.0.1"_s);
    form->Text2->setText(u"name"_s);
    QTest::keyClick(form->Text2, key, modifiers);

    QCOMPARE(cell(0, MarkerColumn), refreshes ? QString() : u"X"_s);
    QCOMPARE(cell(1, MarkerColumn), refreshes ? u"X"_s : QString());
    QVERIFY(form->isVisible());
    QVERIFY(!form->isRefreshing());
}

void TestForm2::refreshKeepsTextsAndEditBox()
{
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    const QList<IPListEntry> before = form->entries();
    QCOMPARE(cell(4, MarkerColumn), u"X"_s);

    clickCell(3, DescriptionColumn);
    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, u"typed, not left yet"_s);
    QTest::keyClick(form->Text2, Qt::Key_F5);

    // The current cell did not move; the edit box is still over it, with its text.
    QVERIFY(editBoxOver(3, DescriptionColumn));
    QCOMPARE(form->Text2->text(), u"typed, not left yet"_s);
    QVERIFY(form->Text2->hasFocus());
    QList<IPListEntry> expected = before;
    expected[3].description = u"typed, not left yet"_s;
    QCOMPARE(form->entries(), expected);
    const QStringList marks = {u"X"_s, {}, u"X"_s, {}, u"X"_s, {}};
    for (int row = 0; row < marks.size(); ++row)
        QCOMPARE(cell(row, MarkerColumn), marks.at(row));
    QCOMPARE(cell(99, MarkerColumn), QString());

    // Leaving the cell after the refresh puts the text where it was typed and
    // nowhere else.
    clickCell(5, IPNumberColumn);
    QCOMPARE(cell(3, DescriptionColumn), u"typed, not left yet"_s);
    QCOMPARE(cell(99, MarkerColumn), QString());
    QCOMPARE(cell(99, IPNumberColumn), QString());

    // A row whose IP Number is changed to no address loses its mark at the
    // next refresh; the text typed is what gets probed.
    clickCell(4, IPNumberColumn);
    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, u"gone"_s);
    QTest::keyClick(form->Text2, Qt::Key_F5);
    QCOMPARE(cell(4, MarkerColumn), QString());
    QCOMPARE(cell(4, IPNumberColumn), u"gone"_s);
}

void TestForm2::refreshOverMarkerCell()
{
    putOnDisk({{u"IP_0"_s, u"127.0.0.1"_s}, {u"IP_1"_s, u"127.0.0.2"_s}});
    Form2 *form = open();
    clickCell(1, MarkerColumn);
    QCOMPARE(form->enteredMarker(), u"X"_s);

    // Row 1 stops being an address while its marker cell is current.
    form->MSFlexGrid1->setCellText(1, IPNumberColumn, u"none"_s);
    QTest::keyClick(form->Text2, Qt::Key_F5);
    QCOMPARE(cell(1, MarkerColumn), QString());
    QCOMPARE(form->Text2->text(), QString());

    clickCell(0, DescriptionColumn);
    QCOMPARE(cell(1, MarkerColumn), QString());
    QCOMPARE(cell(0, MarkerColumn), u"X"_s);
}

void TestForm2::featureNotAvailable_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("F6") << Qt::Key_F6 << Qt::KeyboardModifiers();
    QTest::newRow("Shift+F5") << Qt::Key_F5 << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl+F4") << Qt::Key_F4 << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void TestForm2::featureNotAvailable()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    putOnDisk({{u"IP_0"_s, u"name"_s}});
    Form2 *form = open();
    form->MSFlexGrid1->setCellText(0, IPNumberColumn, u"127.0.0.1"_s);
    form->Text2->setText(u"127.0.0.1"_s);

    MessageBoxAnswerer answerer(QMessageBox::Ok);
    QTest::keyClick(form->Text2, key, modifiers);
    QVERIFY(answerer.answered);
    QCOMPARE(answerer.text, u"Feature not available yet."_s);
    QCOMPARE(answerer.title, u"Corvane"_s);
    QCOMPARE(answerer.icon, QMessageBox::NoIcon);
    QCOMPARE(answerer.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(answerer.parent, form);

    // Nothing else happened: no refresh, still open, the edit box in place.
    QCOMPARE(cell(0, MarkerColumn), QString());
    QVERIFY(form->isVisible());
    QVERIFY(editBoxOver(0, IPNumberColumn));
}

void TestForm2::closeKeys_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Esc") << Qt::KeyboardModifiers();
    QTest::newRow("Shift+Esc") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl+Alt+Esc") << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier);
}

void TestForm2::closeKeys()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    QSignalSpy finished(form, &QDialog::finished);
    clickCell(0, DescriptionColumn);
    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, u"edited"_s);
    clickCell(1, DescriptionColumn);

    QTest::keyClick(form->Text2, Qt::Key_Escape, modifiers);
    QVERIFY(!form->isVisible());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(listOnDisk().value(u"Desc_0"_s), u"edited"_s);
}

void TestForm2::closeBoxSavesAsEscDoes()
{
    const auto editAndClose = [this](bool closeBox, KeyValues &stored) {
        putOnDisk(rowsKeys(SampleRows));
        m_store = createSystemSettingsStore();
        Form2 *form = open();
        clickCell(2, DescriptionColumn);
        QTest::keyClicks(form->Text2, u"two"_s);
        clickCell(5, IPNumberColumn);
        form->Text2->selectAll();
        QTest::keyClicks(form->Text2, u"127.0.0.5"_s);
        clickCell(6, IPNumberColumn);
        QTest::keyClicks(form->Text2, u"new row"_s);
        clickCell(6, DescriptionColumn);
        if (closeBox)
            form->windowHandle()->close();
        else
            QTest::keyClick(form->Text2, Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        m_form.reset();
        stored = listOnDisk();
        QDir(configFolder()).removeRecursively();
    };
    KeyValues byEscape;
    KeyValues byCloseBox;
    editAndClose(false, byEscape);
    QVERIFY(!QTest::currentTestFailed());
    editAndClose(true, byCloseBox);
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(byCloseBox, byEscape);
    QCOMPARE(byEscape.value(u"Desc_2"_s), u"two"_s);
    QCOMPARE(byEscape.value(u"IP_5"_s), u"127.0.0.5"_s);
    QCOMPARE(byEscape.value(u"IP_6"_s), u"new row"_s);
    QCOMPARE(byEscape.value(u"Desc_6"_s), QString());
    QVERIFY(byEscape.contains(u"Desc_6"_s));
}

void TestForm2::savedOnceOnClose()
{
    putOnDisk(rowsKeys(SampleRows));
    RecordingSettingsStore recording(*m_store);
    m_form = std::make_unique<Form2>(recording, *m_prober);
    // One read of IP_0 for the edit box, then every slot in order.
    QCOMPARE(recording.reads.size(), 1 + 200);
    QCOMPARE(recording.reads.first(), u"IP_0"_s);
    QVERIFY(recording.writes.isEmpty());

    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->close();
    QCOMPARE(recording.writes.size(), 2 * SampleRows.size());
    QCOMPARE(recording.flushes, 1);
    m_form->close();
    m_form->reject();
    QCOMPARE(recording.writes.size(), 2 * SampleRows.size());
    QCOMPARE(recording.reads.size(), 1 + 200);
}

void TestForm2::typedTextSavedOnClose()
{
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    clickCell(6, IPNumberColumn);
    QTest::keyClicks(form->Text2, u"127.0.0.6"_s);
    // Closed without leaving the cell.
    QTest::keyClick(form->Text2, Qt::Key_Escape);
    QCOMPARE(listOnDisk().value(u"IP_6"_s), u"127.0.0.6"_s);
}

void TestForm2::reopeningShowsStoredList()
{
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    clickCell(2, IPNumberColumn);
    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, u"renamed"_s);
    clickCell(3, IPNumberColumn);
    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, u"127.0.0.3"_s);
    clickCell(0, DescriptionColumn);
    QTest::keyClick(form->Text2, Qt::Key_Escape);
    const QList<IPListEntry> edited = form->entries();
    m_form.reset();

    m_store = createSystemSettingsStore();
    form = open();
    QCOMPARE(form->entries(), edited);
    QCOMPARE(cell(2, IPNumberColumn), u"renamed"_s);
    // Fresh marks: row 2 lost its mark, row 3 gained one.
    QCOMPARE(cell(2, MarkerColumn), QString());
    QCOMPARE(cell(3, MarkerColumn), u"X"_s);
    QVERIFY(editBoxOver(0, IPNumberColumn));
    QCOMPARE(form->Text2->text(), u"127.0.0.1"_s);
}

void TestForm2::saveFailureKeepsListOpen()
{
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    clickCell(1, DescriptionColumn);
    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, u"precious"_s);

    // The settings file turns into a folder: nothing can be written, as root too.
    const QString file = configFolder() + u"/Corvane.conf"_s;
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkpath(file));
    {
        MessageBoxAnswerer answerer(QMessageBox::Cancel);
        QTest::keyClick(form->Text2, Qt::Key_Escape);
        QVERIFY(answerer.answered);
        QCOMPARE(answerer.title, u"Corvane"_s);
        QCOMPARE(answerer.icon, QMessageBox::Warning);
        QVERIFY2(answerer.text.contains(file), qPrintable(answerer.text));
    }
    QVERIFY(form->isVisible());
    QCOMPARE(form->entries().at(1).description, u"precious"_s);
    QVERIFY(editBoxOver(1, DescriptionColumn));

    // Once the file can be written again, closing saves.
    QVERIFY(QDir(file).removeRecursively());
    QTest::keyClick(form->Text2, Qt::Key_Escape);
    QVERIFY(!form->isVisible());
    QCOMPARE(listOnDisk().value(u"Desc_1"_s), u"precious"_s);
}

void TestForm2::storedTextsPassThroughEditBox_data()
{
    QTest::addColumn<QString>("ipNumber");
    QTest::addColumn<QString>("description");
    QTest::newRow("tab inside") << u"127.0.0.1\t# home"_s << u"left\tright"_s;
    QTest::newRow("blanks around") << u"  127.0.0.1 "_s << u" spaced "_s;
    QTest::newRow("long text") << QString(40000, u'9') << QString(50000, u'd');
    QTest::newRow("unicode") << u"１２７.0.0.1"_s << u"Zürich → 東京 🙂"_s;
    QTest::newRow("line break") << u"127.0.0.1"_s << u"first\nsecond"_s;
}

void TestForm2::storedTextsPassThroughEditBox()
{
    QFETCH(QString, ipNumber);
    QFETCH(QString, description);
    putOnDisk({{u"IP_0"_s, ipNumber}, {u"Desc_0"_s, description}, {u"IP_1"_s, u"next"_s}});
    Form2 *form = open();
    QCOMPARE(form->Text2->text(), ipNumber);
    // Every cell of row 0 becomes current once: the texts pass through the
    // edit box and back.
    clickCell(0, DescriptionColumn);
    QCOMPARE(form->Text2->text(), description);
    clickCell(0, MarkerColumn);
    clickCell(1, IPNumberColumn);
    clickCell(0, IPNumberColumn);
    clickCell(1, DescriptionColumn);
    QCOMPARE(cell(0, IPNumberColumn), ipNumber);
    QCOMPARE(cell(0, DescriptionColumn), description);
    QTest::keyClick(form->Text2, Qt::Key_Escape);
    const KeyValues stored = listOnDisk();
    QCOMPARE(stored.value(u"IP_0"_s), ipNumber);
    QCOMPARE(stored.value(u"Desc_0"_s), description);
}

void TestForm2::scrollHidesEditBox()
{
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    // No press on the grid yet: a focus loss now would move to the next cell.
    QVERIFY(!form->skipFocusAdvance());
    QTest::keyClicks(form->Text2, u"!"_s);
    QScrollBar *bar = form->MSFlexGrid1->verticalScrollBar();
    bar->setValue(bar->maximum());
    QVERIFY(!form->Text2->isVisible());
    QCOMPARE(current(), (GridCell{0, IPNumberColumn}));
    QCOMPARE(form->Text2->text(), u"127.0.0.1!"_s);
    QCOMPARE(cell(0, IPNumberColumn), u"127.0.0.1"_s);
    // Keys still reach the window while the edit box is hidden.
    QTest::keyClick(form, Qt::Key_F5);
    QCOMPARE(cell(0, MarkerColumn), QString());

    clickCell(97, IPNumberColumn);
    QVERIFY(editBoxOver(97, IPNumberColumn));
    QVERIFY(form->Text2->hasFocus());
    QCOMPARE(cell(0, IPNumberColumn), u"127.0.0.1!"_s);
    QCOMPARE(cell(0, DescriptionColumn), u"this machine"_s);
}

void TestForm2::focusLossMovesOn_data()
{
    QTest::addColumn<GridCell>("clicked");
    QTest::addColumn<GridCell>("next");
    QTest::newRow("IP Number to description") << GridCell{3, 0} << GridCell{3, 1};
    QTest::newRow("description to marker") << GridCell{3, 1} << GridCell{3, 2};
    QTest::newRow("marker to the next row") << GridCell{3, 2} << GridCell{4, 0};
    QTest::newRow("last cell stays") << GridCell{99, 2} << GridCell{99, 2};
}

void TestForm2::focusLossMovesOn()
{
    QFETCH(GridCell, clicked);
    QFETCH(GridCell, next);
    putOnDisk(rowsKeys(SampleRows));
    Form2 *form = open();
    clickCell(clicked.row, clicked.column);
    QVERIFY(form->skipFocusAdvance());

    // The first focus loss after a press on the grid belongs to that press.
    form->Text2->clearFocus();
    QVERIFY(!form->skipFocusAdvance());
    QCOMPARE(current(), clicked);

    form->Text2->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(form->Text2, u"+"_s);
    const QString typed = form->Text2->text();
    form->Text2->clearFocus();
    QCOMPARE(current(), next);
    if (next == clicked)
        return;
    QVERIFY(editBoxOver(next.row, next.column));
    QVERIFY(form->Text2->hasFocus());
    if (clicked.column != MarkerColumn)
        QCOMPARE(cell(clicked.row, clicked.column), typed);
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
