#include "ipaddressedit.h"

#include "ipaddresstext.h"
#include "ownipnumber.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QValidator>

using namespace Qt::StringLiterals;

namespace {

// Refuses every change that would leave a box holding anything but an
// octet text, so a value above 255 never gets in.
class OctetValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        return isOctetText(input) ? Acceptable : Invalid;
    }
};

constexpr int kLastBox = 3;

} // namespace

IpAddressEdit::IpAddressEdit(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);

    auto *validator = new OctetValidator(this);
    for (int i = 0; i <= kLastBox; ++i) {
        auto *box = new QLineEdit(this);
        box->setObjectName(u"octet%1"_s.arg(i));
        box->setFrame(false);
        box->setAlignment(Qt::AlignCenter);
        box->setValidator(validator);
        box->setMaxLength(3);
        box->setAcceptDrops(false);
        box->setContextMenuPolicy(Qt::DefaultContextMenu);
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance(u"0000"_s));
        // The field is one stop in the window's tab order; the boxes after
        // the first are reached by typing or with the arrow keys.
        box->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        box->installEventFilter(this);
        layout->addWidget(box, 1);
        m_boxes[static_cast<size_t>(i)] = box;

        connect(box, &QLineEdit::textChanged, this, [this] { announce(); });
        connect(box, &QLineEdit::textEdited, this, [this, i, box](const QString &text) {
            if (i < kLastBox && text.size() == 3 && box->cursorPosition() == 3)
                moveTo(i + 1, -1);
        });

        if (i < kLastBox) {
            auto *dot = new QLabel(u"."_s, this);
            dot->setAlignment(Qt::AlignCenter);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
    }
    setFocusProxy(m_boxes[0]);
}

IpAddressEdit::~IpAddressEdit() = default;

QLineEdit *IpAddressEdit::octetBox(int index) const
{
    return m_boxes.at(static_cast<size_t>(index));
}

QString IpAddressEdit::text() const
{
    QStringList octets;
    bool any = false;
    for (const QLineEdit *box : m_boxes) {
        any = any || !box->text().isEmpty();
        octets.append(box->text().isEmpty() ? u"0"_s : box->text());
    }
    return any ? octets.join(u'.') : QString();
}

void IpAddressEdit::setText(const QString &text)
{
    const auto octets = splitDottedOctets(QStringView(text).trimmed());
    m_settingText = true;
    for (size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setText(octets ? (*octets)[i] : QString());
    m_settingText = false;
    announce();
}

QString IpAddressEdit::ownIpNumber()
{
    return queryOwnIpNumber();
}

void IpAddressEdit::announce()
{
    if (m_settingText)
        return;
    const QString current = text();
    if (current == m_announced)
        return;
    m_announced = current;
    emit textChanged(current);
}

int IpAddressEdit::indexOf(const QObject *box) const
{
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        if (m_boxes[i] == box)
            return static_cast<int>(i);
    }
    return -1;
}

void IpAddressEdit::moveTo(int index, int cursor)
{
    QLineEdit *box = octetBox(index);
    box->setFocus(Qt::OtherFocusReason);
    if (cursor < 0)
        box->selectAll();
    else
        box->setCursorPosition(qMin(cursor, static_cast<int>(box->text().size())));
}

bool IpAddressEdit::eventFilter(QObject *watched, QEvent *event)
{
    const int index = indexOf(watched);
    // Filters see events before a disabled box drops them.
    if (index < 0 || !octetBox(index)->isEnabled())
        return QFrame::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::KeyPress:
        return handleKey(index, static_cast<QKeyEvent *>(event));
    case QEvent::ContextMenu:
        showContextMenu(index, static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        const QWidget *next = QApplication::focusWidget();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            indexOf(next) < 0)
            fillEmptyBoxes();
        break;
    }
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}

bool IpAddressEdit::handleKey(int index, QKeyEvent *event)
{
    QLineEdit *box = octetBox(index);
    const bool atStart = box->cursorPosition() == 0 && !box->hasSelectedText();
    const bool atEnd = box->cursorPosition() == box->text().size() && !box->hasSelectedText();

    if (event->matches(QKeySequence::Paste)) {
        paste(index, QApplication::clipboard()->text());
        return true;
    }
    // Keypads with a decimal comma give "," where the period key would be.
    const bool keypadComma =
        event->key() == Qt::Key_Comma && (event->modifiers() & Qt::KeypadModifier);
    switch (keypadComma ? int(Qt::Key_Period) : event->key()) {
    case Qt::Key_Period:
        if (index < kLastBox && !box->text().isEmpty())
            moveTo(index + 1, -1);
        return true;
    case Qt::Key_Backspace:
        if (index > 0 && atStart) {
            moveTo(index - 1, 3);
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (index > 0 && atStart && event->modifiers() == Qt::NoModifier) {
            moveTo(index - 1, 3);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (index < kLastBox && atEnd && event->modifiers() == Qt::NoModifier) {
            moveTo(index + 1, 0);
            return true;
        }
        return false;
    default:
        break;
    }

    // A digit typed at the end of a full box starts the next one.
    const QString typed = event->text();
    if (index < kLastBox && atEnd && box->text().size() == 3 && typed.size() == 1 &&
        typed.front().isDigit()) {
        moveTo(index + 1, -1);
        octetBox(index + 1)->insert(typed);
        return true;
    }
    return false;
}

void IpAddressEdit::paste(int index, const QString &text)
{
    const QString trimmed = text.trimmed();
    if (splitDottedOctets(trimmed)) {
        setText(trimmed);
        moveTo(kLastBox, 3);
    } else {
        // Digits go into the box; the validator refuses anything else.
        octetBox(index)->insert(trimmed);
    }
}

void IpAddressEdit::showContextMenu(int index, const QPoint &globalPos)
{
    // Built here rather than taken from QLineEdit, whose Paste would put a
    // whole address into one box.
    QLineEdit *box = octetBox(index);
    auto *menu = new QMenu(box);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool editable = box->isEnabled() && !box->isReadOnly();

    QAction *cut = menu->addAction(tr("Cu&t"), box, &QLineEdit::cut);
    cut->setEnabled(editable && box->hasSelectedText());
    QAction *copy = menu->addAction(tr("&Copy"), box, &QLineEdit::copy);
    copy->setEnabled(box->hasSelectedText());
    QAction *pasteAction = menu->addAction(
        tr("&Paste"), this, [this, index] { paste(index, QApplication::clipboard()->text()); });
    pasteAction->setObjectName(u"paste"_s);
    pasteAction->setEnabled(editable && !QApplication::clipboard()->text().isEmpty());
    menu->addSeparator();
    menu->addAction(tr("Select &All"), box, &QLineEdit::selectAll);
    menu->popup(globalPos);
}

void IpAddressEdit::fillEmptyBoxes()
{
    if (text().isEmpty())
        return;
    m_settingText = true;
    for (QLineEdit *box : m_boxes) {
        if (box->text().isEmpty())
            box->setText(u"0"_s);
    }
    m_settingText = false;
    announce();
}
