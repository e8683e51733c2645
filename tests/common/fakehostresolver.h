#pragma once

#include "hostresolver.h"

#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QThread>

/// A resolver with names the test chooses, safe to call from many threads.
/// It records every question, so a test can tell what was asked and how often.
class FakeHostResolver : public HostResolver
{
public:
    QHash<QString, QString> reverse; ///< IP Number text -> name
    QHash<QString, QString> forward; ///< name -> IP Number text
    int reverseDelayMs = 0;          ///< simulated resolver latency per lookup

    QString hostNameToIpNumber(const QString &hostName) override
    {
        QMutexLocker lock(&m_mutex);
        m_forwardAsked.append(hostName);
        return forward.value(hostName, QStringLiteral("ERROR"));
    }

    QString ipNumberToHostName(const QString &ipNumber) override
    {
        {
            QMutexLocker lock(&m_mutex);
            m_reverseAsked.append(ipNumber);
        }
        if (reverseDelayMs > 0)
            QThread::msleep(static_cast<unsigned long>(reverseDelayMs));
        return reverse.value(ipNumber);
    }

    QStringList reverseAsked() const
    {
        QMutexLocker lock(&m_mutex);
        return m_reverseAsked;
    }
    QStringList forwardAsked() const
    {
        QMutexLocker lock(&m_mutex);
        return m_forwardAsked;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_reverseAsked;
    QStringList m_forwardAsked;
};
