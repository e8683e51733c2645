#pragma once

#include "failuremessage.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

/// What one modal dialog showed before it was answered.
struct SeenDialog
{
    QString title;
    QString text;    ///< a message box's text, or an input prompt's label
    QString offered; ///< the text an input prompt offered
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QPointer<QWidget> parent;
    bool beeped = false;     ///< the failure beep came since the dialog before
    bool waitCursor = false; ///< a wait cursor was up while it showed
};

/// Answers each modal dialog as soon as it shows, as a user would: a message box with the next
/// queued button (else its default or escape button), an input prompt by typing the next queued
/// text and pressing OK (Cancel when none is queued, or for kCancel). Keeps what each showed.
class DialogAnswerer : public QObject
{
public:
    static inline const QString kCancel = QStringLiteral("<cancel>");

    explicit DialogAnswerer(QList<QMessageBox::StandardButton> buttons = {}, QStringList texts = {})
        : m_buttons(std::move(buttons))
        , m_texts(std::move(texts))
    {
        qApp->installEventFilter(this);
        connect(&FailureBeep::instance(), &FailureBeep::beeped, this,
                [this] { m_beepHeard = true; });
    }
    ~DialogAnswerer() override { qApp->removeEventFilter(this); }

    const QList<SeenDialog> &seen() const { return m_seen; }
    QStringList texts() const
    {
        QStringList result;
        for (const SeenDialog &dialog : m_seen)
            result.append(dialog.text);
        return result;
    }
    void clear() { m_seen.clear(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Answered from the dialog's own event loop, once it runs (never, once the dialog is gone).
        if (event->type() == QEvent::Show &&
            (qobject_cast<QMessageBox *>(watched) || qobject_cast<QInputDialog *>(watched)))
            QTimer::singleShot(0, watched,
                               [this, watched] { answer(static_cast<QDialog *>(watched)); });
        return QObject::eventFilter(watched, event);
    }

private:
    void answer(QDialog *dialog)
    {
        if (!dialog->isVisible())
            return;
        auto *box = qobject_cast<QMessageBox *>(dialog);
        auto *input = qobject_cast<QInputDialog *>(dialog);
        m_seen.append(
            {dialog->windowTitle(), box ? box->text() : input->labelText(),
             box ? QString() : input->textValue(), box ? box->icon() : QMessageBox::NoIcon,
             box ? box->standardButtons() : QMessageBox::NoButton, dialog->parentWidget(),
             std::exchange(m_beepHeard, false), QGuiApplication::overrideCursor() != nullptr});
        if (box) {
            QAbstractButton *button =
                m_buttons.isEmpty() ? nullptr : box->button(m_buttons.takeFirst());
            if (!button)
                button = box->defaultButton() ? box->defaultButton() : box->escapeButton();
            return button ? QTest::mouseClick(button, Qt::LeftButton) : box->reject();
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

    QList<QMessageBox::StandardButton> m_buttons;
    QStringList m_texts;
    QList<SeenDialog> m_seen;
    bool m_beepHeard = false;
};
