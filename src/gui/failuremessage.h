#pragma once

#include <QObject>
#include <QString>

class QWidget;

/// The default beep that comes before every failure message. beeped() follows
/// each beep, so that a test can hear it where the platform makes no sound.
class FailureBeep : public QObject
{
    Q_OBJECT
public:
    static FailureBeep &instance();
    void beep();

signals:
    void beeped();

private:
    FailureBeep() = default;
};

/// A failure message: the default beep, then a modal box titled "Corvane"
/// with the exclamation icon and @p text.
void showFailureMessage(QWidget *parent, const QString &text);
