// The address field under keys, clicks, pastes (0x0B <text> 0x0B) and text writes (0x0A <text>
// 0x0A); see run(). After each step every box holds an octet, the field reads as nothing or an
// address, textChanged is in step, a disabled field is unchanged, digits, "." and Backspace follow
// expected(), and a written text shows exactly when it is an address.

#include "fuzzsupport.h"
#include "ipaddressedit.h"
#include "ipaddresstext.h"

#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

IpAddressEdit *field = nullptr;
QLineEdit *elsewhere = nullptr;
QString announced;

struct State
{
    QStringList boxes;
    int focus = -1;   ///< the focused box
    int from = 0;     ///< where typing goes: the selection's start, or the cursor
    int selected = 0; ///< length of the selection
};

State state()
{
    State s;
    for (int i = 0; i < 4; ++i) {
        const QLineEdit *box = field->octetBox(i);
        s.boxes.append(box->text());
        if (box->hasFocus())
            s = {s.boxes, i, box->hasSelectedText() ? box->selectionStart() : box->cursorPosition(),
                 int(box->selectedText().size())};
    }
    return s;
}

// A digit goes in while the box stays an octet, and a third one at the end
// moves on; a digit at the end of a full box starts the next box. "." moves
// on from a box that is not empty; Backspace at a box's start moves back.
std::optional<State> expected(State s, char key)
{
    const int at = s.focus;
    const QString text = s.boxes[at];
    const bool digit = key >= '0' && key <= '9';
    if (digit && at < 3 && s.selected == 0 && s.from == 3) {
        s.boxes[at + 1] = QString(QLatin1Char(key));
        s.focus = at + 1;
    } else if (digit) {
        const QString typed = QString(text).replace(s.from, s.selected, QLatin1Char(key));
        if (isOctetText(typed)) {
            s.boxes[at] = typed;
            s.focus = at < 3 && typed.size() == 3 && s.from == 2 ? at + 1 : at;
        }
    } else if (key == '.') {
        s.focus = at < 3 && !text.isEmpty() ? at + 1 : at;
    } else if (key == '\b' && at > 0 && s.from == 0 && s.selected == 0) {
        s.focus = at - 1;
    } else {
        return std::nullopt;
    }
    return s;
}

void key(QKeyCombination key, const QString &text = {})
{
    QWidget *target =
        QApplication::focusWidget() ? QApplication::focusWidget() : field->octetBox(0);
    QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers(), text);
    QKeyEvent release(QEvent::KeyRelease, key.key(), key.keyboardModifiers(), text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
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
    // The keys of 0x01 to 0x0E but 0x09 and 0x0A; 0x07 is a keypad's decimal comma.
    static const QStringList keys =
        u"Backspace Left Right Del Home End Num+, Shift+Left - - Ctrl+V Ctrl+A Ctrl+X Ctrl+Z"_s
            .split(u' ');
    while (i < ops.size()) {
        const auto op = uchar(ops[i++]);
        const State before = state();
        const bool enabled = field->isEnabled();
        const char typed = op == 0x01 ? '\b' : op == 0x07 ? '.' : op >= 0x20 ? char(op) : 0;
        const std::optional<State> model =
            enabled && before.focus >= 0 ? expected(before, typed) : std::nullopt;
        const bool keyOnly = op != 0x09 && op != 0x0A && op != 0x0F && (op < 0x10 || op > 0x13);
        if (op == 0x0B)
            QApplication::clipboard()->setText(segment('\x0b'));
        if (op >= 0x01 && op <= 0x0E && op != 0x09 && op != 0x0A) {
            key(QKeySequence(keys[op - 1], QKeySequence::PortableText)[0],
                op == 0x07 ? u","_s : QString());
        } else if (op >= 0x20 && op < 0x7F) {
            QTest::keyClick(QApplication::focusWidget(), char(op));
        } else if (keyOnly) {
            key(Qt::Key_unknown, QChar(char16_t(op)));
        } else if (op == 0x09) {
            elsewhere->setFocus(Qt::TabFocusReason);
        } else if (op == 0x0A) {
            const QString text = segment('\n');
            field->setText(text);
            FUZZ_CHECK(field->text() ==
                       (plainAddress(text.trimmed()) ? text.trimmed() : QString()));
        } else if (op == 0x0F) {
            field->setEnabled(!enabled);
        } else {
            QTest::mouseClick(field->octetBox(op - 0x10), Qt::LeftButton);
        }
        const State after = state();
        FUZZ_CHECK(std::all_of(after.boxes.cbegin(), after.boxes.cend(), isOctetText));
        FUZZ_CHECK(field->text().isEmpty() || splitDottedOctets(field->text()));
        FUZZ_CHECK(announced == field->text());
        FUZZ_CHECK(enabled || !keyOnly || after.boxes == before.boxes);
        FUZZ_CHECK(!model || (after.boxes == model->boxes && after.focus == model->focus));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv); // never destroyed: at exit Qt's globals may be gone
    auto *window = new QWidget;
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(field = new IpAddressEdit(window));
    layout->addWidget(elsewhere = new QLineEdit(window));
    QObject::connect(field, &IpAddressEdit::textChanged, [](const QString &t) { announced = t; });
    window->show();
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window))
        qFatal("the offscreen window never became active");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 512) // a few hundred steps say all there is to say
        return -1;
    field->setEnabled(true);
    field->setText(QString());
    field->octetBox(0)->setFocus(Qt::OtherFocusReason);
    FUZZ_CHECK(announced.isEmpty());
    run(fuzzBytes(data, size));
    return 0;
}
