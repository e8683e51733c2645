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
        record(m_forwardAsked, hostName);
        return forward.value(hostName, QStringLiteral("ERROR"));
    }
    QString ipNumberToHostName(const QString &ipNumber) override
    {
        record(m_reverseAsked, ipNumber);
        return reverse.value(ipNumber);
    }
    QStringList reverseAsked() const { return asked(m_reverseAsked); }
    QStringList forwardAsked() const { return asked(m_forwardAsked); }

private:
    void record(QStringList &questions, const QString &question)
    {
        QMutexLocker lock(&m_mutex);
        questions.append(question);
    }
    QStringList asked(const QStringList &questions) const
    {
        QMutexLocker lock(&m_mutex);
        return questions;
    }

    mutable QMutex m_mutex;
    QStringList m_reverseAsked;
    QStringList m_forwardAsked;
};
