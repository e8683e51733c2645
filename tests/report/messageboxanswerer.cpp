#include "messageboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>

MessageBoxAnswerer::MessageBoxAnswerer(QList<QMessageBox::StandardButton> answers)
    : m_answers(std::move(answers))
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxAnswerer::answerOpenBox);
    m_timer.start();
}

void MessageBoxAnswerer::answerOpenBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible())
        return;
    m_seen.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    QAbstractButton *button = nullptr;
    if (!m_answers.isEmpty())
        button = box->button(m_answers.takeFirst());
    if (button == nullptr)
        button = box->escapeButton();
    if (button != nullptr)
        button->click();
    else
        box->reject();
}
