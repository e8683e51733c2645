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
    // Answered from the dialog's own event loop, once it runs (never, once the dialog is gone).
    if (event->type() == QEvent::Show &&
        (qobject_cast<QMessageBox *>(watched) || qobject_cast<QInputDialog *>(watched)))
        QTimer::singleShot(0, watched,
                           [this, watched] { answer(static_cast<QDialog *>(watched)); });
    return QObject::eventFilter(watched, event);
}

void DialogAnswerer::answer(QDialog *dialog)
{
    if (!dialog->isVisible())
        return;
    auto *box = qobject_cast<QMessageBox *>(dialog);
    auto *input = qobject_cast<QInputDialog *>(dialog);
    m_seen.append({dialog->windowTitle(), box ? box->text() : input->labelText(),
                   box ? QString() : input->textValue(), box ? box->icon() : QMessageBox::NoIcon,
                   box ? box->standardButtons() : QMessageBox::NoButton, dialog->parentWidget(),
                   std::exchange(m_beepHeard, false),
                   QGuiApplication::overrideCursor() != nullptr});
    if (box) {
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
    const QString answer = m_texts.isEmpty() ? kCancel : m_texts.takeFirst();
    if (answer != kCancel) {
        auto *edit = input->findChild<QLineEdit *>();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, answer);
    }
    QTest::mouseClick(input->findChild<QDialogButtonBox *>()->button(
                          answer == kCancel ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok),
                      Qt::LeftButton);
}
