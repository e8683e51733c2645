#include "messageboxlog.h"

#include "failuremessage.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

MessageBoxLog::MessageBoxLog()
{
    qApp->installEventFilter(this);
    connect(&FailureBeep::instance(), &FailureBeep::beeped, this, [this] { m_beepHeard = true; });
}

MessageBoxLog::~MessageBoxLog()
{
    qApp->removeEventFilter(this);
}

QStringList MessageBoxLog::texts() const
{
    QStringList result;
    for (const Entry &entry : m_entries)
        result.append(entry.text);
    return result;
}

bool MessageBoxLog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            m_entries.append({box->windowTitle(), box->text(), box->icon(), m_beepHeard});
            m_beepHeard = false;
            // Answered from the box's own event loop, once it runs.
            QTimer::singleShot(0, box, [guard = QPointer<QMessageBox>(box)] {
                if (!guard)
                    return;
                if (QPushButton *button = guard->defaultButton())
                    button->click();
                else
                    guard->reject();
            });
        }
    }
    return QObject::eventFilter(watched, event);
}
