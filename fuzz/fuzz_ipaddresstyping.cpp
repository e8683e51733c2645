// The address field under any sequence of keys, clicks, pastes and text writes.
//
// Printable ASCII is typed; a few control bytes stand for editing keys, focus
// moves and enabling; 0x0A <text> 0x0A writes the text and 0x0B <text> 0x0B
// pastes it. After every operation each box holds an octet text, the field
// reads as nothing or four octets, the last textChanged carries that text, and
// a disabled field is unchanged. Digits, "." and Backspace follow the typing
// rules modelled in expectedAfterKey(); a written text shows as written
// exactly when it is four octets of 0 to 255, blanks around it aside.

#include "fuzzsupport.h"
#include "ipaddressedit.h"
#include "ipaddresstext.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

IpAddressEdit *field = nullptr;
QLineEdit *elsewhere = nullptr;
QString announced;

struct State
{
    QString boxes[4];
    int focus = -1; ///< the focused box, -1 for none
    int cursor = 0;
    int selectionStart = -1;
    int selectionLength = 0;
};

State state()
{
    State s;
    for (int i = 0; i < 4; ++i) {
        s.boxes[i] = field->octetBox(i)->text();
        if (QApplication::focusWidget() == field->octetBox(i))
            s.focus = i;
    }
    if (s.focus >= 0) {
        const QLineEdit *box = field->octetBox(s.focus);
        s.cursor = box->cursorPosition();
        s.selectionStart = box->selectionStart();
        s.selectionLength = int(box->selectedText().size());
    }
    return s;
}

// A digit fills the focused box while it stays an octet text, a full box
// moves the focus on; a digit typed at the end of a full box starts the next
// box. "." moves on from a box that is not empty. Backspace at the start of a
// box goes back to the end of the one before. Nothing for other keys.
std::optional<State> expectedAfterKey(const State &before, char key)
{
    State after = before;
    const int at = before.focus;
    const QString &text = before.boxes[at];
    const bool atEnd = before.selectionLength == 0 && before.cursor == text.size();
    if (key >= '0' && key <= '9' && at < 3 && atEnd && text.size() == 3) {
        after.boxes[at + 1] = QString(QLatin1Char(key));
        after.focus = at + 1;
    } else if (key >= '0' && key <= '9') {
        const int from = before.selectionLength > 0 ? before.selectionStart : before.cursor;
        const QString typed = QString(text).replace(from, before.selectionLength, QLatin1Char(key));
        if (isOctetText(typed)) {
            after.boxes[at] = typed;
            after.focus = at < 3 && typed.size() == 3 && from == 2 ? at + 1 : at;
        }
    } else if (key == '.') {
        after.focus = at < 3 && !text.isEmpty() ? at + 1 : at;
    } else if (key == '\b' && at > 0 && before.cursor == 0 && before.selectionLength == 0) {
        after.focus = at - 1;
    } else {
        return std::nullopt;
    }
    return after;
}

void checkField(const std::optional<State> &expected)
{
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(isOctetText(field->octetBox(i)->text()));
    const QString text = field->text();
    FUZZ_CHECK(text.isEmpty() || splitDottedOctets(text));
    FUZZ_CHECK(announced == text);
    if (!expected)
        return;
    const State now = state();
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(now.boxes[i] == expected->boxes[i]);
    FUZZ_CHECK(now.focus == expected->focus);
}

void writeText(const QString &text)
{
    static const QRegularExpression octets(QRegularExpression::anchoredPattern(
        u"([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})"_s));
    const QString trimmed = text.trimmed();
    const QRegularExpressionMatch match = octets.match(trimmed);
    bool valid = match.hasMatch();
    for (int i = 1; i <= 4 && valid; ++i)
        valid = match.capturedView(i).toInt() <= 255;
    field->setText(text);
    FUZZ_CHECK(field->text() == (valid ? trimmed : QString()));
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : field->octetBox(0), key, modifiers);
}

void run(const QByteArray &ops)
{
    qsizetype i = 0;
    const auto segment = [&](char end) {
        const qsizetype close = ops.indexOf(end, i) < 0 ? ops.size() : ops.indexOf(end, i);
        const QString text = QString::fromUtf8(ops.sliced(i, close - i));
        i = qMin(close + 1, ops.size());
        return text;
    };
    static const Qt::Key keys[] = {Qt::Key_Backspace, Qt::Key_Left, Qt::Key_Right,
                                   Qt::Key_Delete,    Qt::Key_Home, Qt::Key_End};
    while (i < ops.size()) {
        const auto op = uchar(ops[i++]);
        const State before = state();
        const bool enabled = field->isEnabled();
        const QString beforeText = field->text();
        std::optional<State> expected;
        if (enabled && before.focus >= 0 && (op >= 0x20 || op == 0x01 || op == 0x07))
            expected = expectedAfterKey(before, op == 0x01 ? '\b' : op == 0x07 ? '.' : char(op));
        bool keyOnly = true;
        if (op >= 0x01 && op <= 0x06) {
            press(keys[op - 1]);
        } else if (op == 0x07) {
            press(Qt::Key_Comma, Qt::KeypadModifier); // a keypad's decimal comma
        } else if (op == 0x08) {
            press(Qt::Key_Left, Qt::ShiftModifier);
        } else if (op >= 0x0C && op <= 0x0E) {
            press(op == 0x0C ? Qt::Key_A : op == 0x0D ? Qt::Key_X : Qt::Key_Z, Qt::ControlModifier);
        } else if (op == 0x0B) {
            QApplication::clipboard()->setText(segment('\x0b'));
            press(Qt::Key_V, Qt::ControlModifier);
        } else if (op >= 0x20 && op < 0x7F) {
            QWidget *focus = QApplication::focusWidget();
            QTest::keyClick(focus ? focus : field->octetBox(0), char(op));
        } else if (op == 0x09 || op == 0x0A || op == 0x0F || (op >= 0x10 && op <= 0x13)) {
            keyOnly = false;
            if (op == 0x09)
                elsewhere->setFocus(Qt::TabFocusReason);
            else if (op == 0x0A)
                writeText(segment('\n'));
            else if (op == 0x0F)
                field->setEnabled(!enabled);
            else
                QTest::mouseClick(field->octetBox(op - 0x10), Qt::LeftButton);
        } else {
            const QString text = QChar(char16_t(op));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
            QWidget *focus = QApplication::focusWidget();
            QApplication::sendEvent(focus ? focus : field->octetBox(0), &press);
            QApplication::sendEvent(focus ? focus : field->octetBox(0), &release);
        }
        checkField(expected);
        if (keyOnly && !enabled)
            FUZZ_CHECK(field->text() == beforeText);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit Qt's own globals may already be gone.
    new QApplication(*argc, *argv);
    auto *window = new QWidget;
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(field = new IpAddressEdit(window));
    layout->addWidget(elsewhere = new QLineEdit(window));
    QObject::connect(field, &IpAddressEdit::textChanged,
                     [](const QString &text) { announced = text; });
    window->show();
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window))
        qFatal("the offscreen window never became active");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A few hundred operations say all there is to say; longer ones only slow the run.
    if (size > 512)
        return -1;
    field->setEnabled(true);
    field->setText(QString());
    field->octetBox(0)->setFocus(Qt::OtherFocusReason);
    checkField(std::nullopt);
    run(fuzzBytes(data, size));
    return 0;
}
