#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

// Answers the next modal widget of type T from the test: polls for it (for
// about ten seconds at most) and hands it to the answer function once. Stops
// looking when it goes out of scope, so it never answers another test's box.
template<class T>
class ModalAnswerer
{
public:
    explicit ModalAnswerer(std::function<void(T *)> answer)
        : m_answer(std::move(answer))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (++m_tries > 500) {
                m_timer.stop();
                return;
            }
            T *widget = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!widget || !widget->isVisible())
                return;
            m_timer.stop();
            m_answered = true;
            m_answer(widget);
        });
        m_timer.start();
    }
    ModalAnswerer(const ModalAnswerer &) = delete;
    ModalAnswerer &operator=(const ModalAnswerer &) = delete;

    bool answered() const { return m_answered; }

private:
    std::function<void(T *)> m_answer;
    QTimer m_timer;
    int m_tries = 0;
    bool m_answered = false;
};

// Answers the next message box with a button and keeps what it showed.
class MessageBoxAnswerer
{
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton button)
        : m_answerer([this, button](QMessageBox *box) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            if (QAbstractButton *b = box->button(button))
                b->click();
            else
                box->reject();
        })
    {}

    bool shown() const { return m_answerer.answered(); }

    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;

private:
    ModalAnswerer<QMessageBox> m_answerer;
};

// Answers the next modal widgets one after another, each with its own answer
// function, and notes their window titles and class names in order.
class ModalSequenceAnswerer
{
public:
    explicit ModalSequenceAnswerer(QList<std::function<void(QWidget *)>> answers)
        : m_answers(std::move(answers))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (++m_tries > 500 || m_answers.isEmpty()) {
                m_timer.stop();
                return;
            }
            QWidget *widget = QApplication::activeModalWidget();
            if (!widget || !widget->isVisible() || widget == m_last)
                return;
            m_last = widget;
            titles.append(widget->windowTitle());
            classNames.append(QString::fromLatin1(widget->metaObject()->className()));
            m_answers.takeFirst()(widget);
        });
        m_timer.start();
    }
    ModalSequenceAnswerer(const ModalSequenceAnswerer &) = delete;
    ModalSequenceAnswerer &operator=(const ModalSequenceAnswerer &) = delete;

    bool done() const { return m_answers.isEmpty(); }

    QStringList titles;
    QStringList classNames;

private:
    QList<std::function<void(QWidget *)>> m_answers;
    QPointer<QWidget> m_last;
    QTimer m_timer;
    int m_tries = 0;
};
