#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

/// Waits for the next message box to open, notes what it shows and presses
/// one of its buttons, the way a user would. Gives up after a few seconds so
/// that a box that never opens fails the test instead of hanging it.
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer)
        : m_answer(answer)
    {
        m_waited.start();
        connect(&m_poll, &QTimer::timeout, this, &MessageBoxAnswerer::look);
        m_poll.start(10);
    }

    bool answered = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget *parent = nullptr;

private:
    void look()
    {
        if (m_waited.elapsed() > 5000) {
            m_poll.stop();
            return;
        }
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box || !box->isVisible())
                continue;
            m_poll.stop();
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            parent = box->parentWidget();
            answered = true;
            if (QAbstractButton *button = box->button(m_answer))
                button->click();
            else
                box->reject();
            return;
        }
    }

    QMessageBox::StandardButton m_answer;
    QTimer m_poll;
    QElapsedTimer m_waited;
};
