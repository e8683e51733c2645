#pragma once

#include <QObject>

class QSocketNotifier;

/// Hears the signals that ask the program to end (SIGTERM, SIGHUP, SIGINT)
/// and reports each on the event loop. The handler itself only writes the
/// signal's number into a pipe; everything else runs in received().
///
/// A SIGHUP that the program was started ignoring (nohup) stays ignored.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
