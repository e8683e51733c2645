// The address field under any sequence of keys, pastes and text writes.
//
// Input bytes are operations: printable ASCII is typed; a few control bytes
// stand for editing keys, focus moves and enabling; 0x0A <text> 0x0A writes
// Text and 0x0B <text> 0x0B pastes <text> with Ctrl+V. After every operation
// each box must hold an octet text, the field must read as nothing or as four
// octets of 0 to 255, the last textChanged must carry the text the field
// reads, and while the field is disabled no key may change it.

#include "fuzzsupport.h"
#include "ipaddressedit.h"
#include "ipaddresstext.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QWidget *window = nullptr;
IpAddressEdit *field = nullptr;
QLineEdit *elsewhere = nullptr;
QString announced;

QWidget *keyTarget()
{
    QWidget *focus = QApplication::focusWidget();
    return focus ? focus : field->octetBox(0);
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(keyTarget(), key, modifiers);
}

void typeCharacter(char32_t c)
{
    const QString text = QString::fromUcs4(&c, 1);
    if (c >= 0x20 && c < 0x7F) {
        QTest::keyClick(keyTarget(), static_cast<char>(c));
        return;
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(keyTarget(), &press);
    QApplication::sendEvent(keyTarget(), &release);
}

void checkField(const char *afterWhat)
{
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(isOctetText(field->octetBox(i)->text()));
    const QString text = field->text();
    if (!text.isEmpty() && !splitDottedOctets(text)) {
        std::fprintf(stderr, "after %s the field reads \"%s\"\n", afterWhat, qPrintable(text));
        FUZZ_CHECK(false);
    }
    FUZZ_CHECK(announced == text);
}

void run(const QByteArray &ops)
{
    qsizetype i = 0;
    const auto segment = [&](char end) {
        const qsizetype close = ops.indexOf(end, i);
        const qsizetype stop = close < 0 ? ops.size() : close;
        const QString text = QString::fromUtf8(ops.sliced(i, stop - i));
        i = close < 0 ? ops.size() : close + 1;
        return text;
    };

    while (i < ops.size()) {
        const auto op = static_cast<unsigned char>(ops[i++]);
        const QString before = field->text();
        bool keyOnly = true;
        switch (op) {
        case 0x01:
            press(Qt::Key_Backspace);
            break;
        case 0x02:
            press(Qt::Key_Left);
            break;
        case 0x03:
            press(Qt::Key_Right);
            break;
        case 0x04:
            press(Qt::Key_Delete);
            break;
        case 0x05:
            press(Qt::Key_Home);
            break;
        case 0x06:
            press(Qt::Key_End);
            break;
        case 0x07:
            press(Qt::Key_Comma, Qt::KeypadModifier);
            break;
        case 0x08:
            press(Qt::Key_Left, Qt::ShiftModifier);
            break;
        case 0x0C:
            press(Qt::Key_A, Qt::ControlModifier);
            break;
        case 0x0D:
            press(Qt::Key_X, Qt::ControlModifier);
            break;
        case 0x0E:
            press(Qt::Key_Z, Qt::ControlModifier);
            break;
        case 0x09:
            keyOnly = false;
            elsewhere->setFocus(Qt::TabFocusReason);
            break;
        case 0x0A:
            keyOnly = false;
            field->setText(segment('\n'));
            break;
        case 0x0B:
            QApplication::clipboard()->setText(segment('\x0b'));
            press(Qt::Key_V, Qt::ControlModifier);
            break;
        case 0x0F:
            keyOnly = false;
            field->setEnabled(!field->isEnabled());
            break;
        case 0x10:
        case 0x11:
        case 0x12:
        case 0x13:
            keyOnly = false;
            QTest::mouseClick(field->octetBox(op - 0x10), Qt::LeftButton);
            break;
        default:
            typeCharacter(op);
            break;
        }
        checkField("an operation");
        if (keyOnly && !field->isEnabled())
            FUZZ_CHECK(field->text() == before);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit Qt's own globals may already be gone.
    new QApplication(*argc, *argv);
    window = new QWidget;
    auto *layout = new QVBoxLayout(window);
    field = new IpAddressEdit(window);
    elsewhere = new QLineEdit(window);
    layout->addWidget(field);
    layout->addWidget(elsewhere);
    QObject::connect(field, &IpAddressEdit::textChanged, field,
                     [](const QString &text) { announced = text; });
    window->show();
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window)) {
        std::fprintf(stderr, "the offscreen window never became active\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A few hundred operations say all there is to say; longer inputs only slow the run.
    if (size > 512)
        return -1;
    field->setEnabled(true);
    field->setText(QString());
    field->octetBox(0)->setFocus(Qt::OtherFocusReason);
    checkField("the reset");
    run(fuzzBytes(data, size));
    return 0;
}
