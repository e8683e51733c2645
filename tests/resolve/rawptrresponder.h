#pragma once

#include <QByteArrayList>
#include <QString>
#include <atomic>
#include <thread>

/// A minimal name server that answers every question with one PTR record
/// whose name is made of the given labels, byte for byte. dnsmasq refuses to
/// serve names with control characters, but a stranger's server may send
/// them; this one does, so the resolver's handling of them can be seen.
/// It serves from a thread until destroyed, for at most a minute.
class RawPtrResponder
{
public:
    explicit RawPtrResponder(QByteArrayList labels);
    ~RawPtrResponder();

    RawPtrResponder(const RawPtrResponder &) = delete;
    RawPtrResponder &operator=(const RawPtrResponder &) = delete;

    /// Binds UDP @p address port 53; on failure returns false and says why.
    bool start(const QString &address, QString *error);
    int questionsReceived() const { return m_questions.load(); }

private:
    void serve();
    QByteArray answerTo(const QByteArray &query) const;

    QByteArrayList m_labels;
    int m_socket = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_questions{0};
};
