#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>

/// Waits for the next message box, notes what it shows and presses one of its
/// buttons, as a user would. Gives up after five seconds, so that a box that
/// never opens fails the test instead of hanging it.
class MessageBoxAnswerer : public QObject
{
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer)
    {
        connect(&m_poll, &QTimer::timeout, this, [this, answer] {
            const QList<QWidget *> windows = QApplication::topLevelWidgets();
            for (QWidget *window : windows) {
                auto *box = qobject_cast<QMessageBox *>(window);
                if (!box || !box->isVisible())
                    continue;
                answered = true;
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                parent = box->parentWidget();
                m_poll.stop();
                box->button(answer) ? box->button(answer)->click() : box->reject();
                return;
            }
            if (m_deadline.hasExpired())
                m_poll.stop();
        });
        m_poll.start(10);
    }

    bool answered = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget *parent = nullptr;

private:
    QTimer m_poll;
    QDeadlineTimer m_deadline{5000};
};
