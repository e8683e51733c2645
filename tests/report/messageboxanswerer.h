#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

/// What a message box showed before it was answered.
struct SeenMessageBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

/// Answers the real modal message boxes of the code under test, one after the
/// other, with the given buttons, and keeps what each box showed. A box
/// beyond the given answers is closed with its escape button.
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT
public:
    explicit MessageBoxAnswerer(QList<QMessageBox::StandardButton> answers = {});

    const QList<SeenMessageBox> &seen() const { return m_seen; }

private:
    void answerOpenBox();

    QList<QMessageBox::StandardButton> m_answers;
    QList<SeenMessageBox> m_seen;
    QTimer m_timer;
};
