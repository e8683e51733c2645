#include "dialoganswerer.h"

#include "failuremessage.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

DialogAnswerer::DialogAnswerer(QList<QMessageBox::StandardButton> buttons, QStringList texts)
    : m_buttons(std::move(buttons))
    , m_texts(std::move(texts))
{
    qApp->installEventFilter(this);
    connect(&FailureBeep::instance(), &FailureBeep::beeped, this, [this] { m_beepHeard = true; });
}

DialogAnswerer::~DialogAnswerer()
{
    qApp->removeEventFilter(this);
}

QStringList DialogAnswerer::texts() const
{
    QStringList result;
    for (const SeenDialog &dialog : m_seen)
        result.append(dialog.text);
    return result;
}

bool DialogAnswerer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        auto *dialog = qobject_cast<QDialog *>(watched);
        if (dialog && (qobject_cast<QMessageBox *>(dialog) || qobject_cast<QInputDialog *>(dialog)))
            // Answered from the dialog's own event loop, once it runs.
            QTimer::singleShot(0, dialog,
                               [this, guard = QPointer<QDialog>(dialog)] { answer(guard); });
    }
    return QObject::eventFilter(watched, event);
}

void DialogAnswerer::answer(QPointer<QDialog> dialog)
{
    if (!dialog || !dialog->isVisible())
        return;
    SeenDialog seen;
    seen.title = dialog->windowTitle();
    seen.parent = dialog->parentWidget();
    seen.beeped = std::exchange(m_beepHeard, false);
    seen.waitCursor = QGuiApplication::overrideCursor() != nullptr;
    if (auto *box = qobject_cast<QMessageBox *>(dialog.data())) {
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        m_seen.append(seen);
        QAbstractButton *button =
            m_buttons.isEmpty() ? nullptr : box->button(m_buttons.takeFirst());
        if (!button)
            button = box->defaultButton() ? box->defaultButton() : box->escapeButton();
        if (button)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            box->reject();
        return;
    }
    auto *input = qobject_cast<QInputDialog *>(dialog.data());
    seen.text = input->labelText();
    seen.offered = input->textValue();
    m_seen.append(seen);
    const QString answer = m_texts.isEmpty() ? kCancel : m_texts.takeFirst();
    auto *buttons = input->findChild<QDialogButtonBox *>();
    if (answer == kCancel) {
        QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        return;
    }
    auto *edit = input->findChild<QLineEdit *>();
    edit->selectAll();
    if (answer.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, answer);
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
}
