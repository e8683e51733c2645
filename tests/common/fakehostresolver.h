#pragma once

#include "hostresolver.h"

#include <QHash>
#include <QMutex>
#include <QStringList>

/// A resolver with names the test chooses, safe to call from many threads.
/// It records every question, so a test can tell what was asked and how often.
class FakeHostResolver : public HostResolver
{
public:
    QHash<QString, QString> reverse; ///< IP Number text -> name
    QHash<QString, QString> forward; ///< name -> IP Number text

    QString hostNameToIpNumber(const QString &hostName) override
    {
        return answer(m_forwardAsked, hostName, forward.value(hostName, QStringLiteral("ERROR")));
    }
    QString ipNumberToHostName(const QString &ipNumber) override
    {
        return answer(m_reverseAsked, ipNumber, reverse.value(ipNumber));
    }
    QStringList reverseAsked() const { return copied(m_reverseAsked); }
    QStringList forwardAsked() const { return copied(m_forwardAsked); }

private:
    QString answer(QStringList &asked, const QString &question, const QString &reply)
    {
        const QMutexLocker lock(&m_mutex);
        asked.append(question);
        return reply;
    }

    QStringList copied(const QStringList &asked) const
    {
        const QMutexLocker lock(&m_mutex);
        return asked;
    }

    mutable QMutex m_mutex;
    QStringList m_reverseAsked;
    QStringList m_forwardAsked;
};
