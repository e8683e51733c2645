#include "rawptrresponder.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int HeaderSize = 12;

void appendBigEndian16(QByteArray &out, quint16 value)
{
    out.append(static_cast<char>(value >> 8));
    out.append(static_cast<char>(value & 0xFF));
}

} // namespace

RawPtrResponder::RawPtrResponder(QByteArrayList labels)
    : m_labels(std::move(labels))
{}

RawPtrResponder::~RawPtrResponder()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_socket >= 0)
        ::close(m_socket);
}

bool RawPtrResponder::start(const QString &address, QString *error)
{
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(53);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &local.sin_addr) != 1 ||
        ::bind(m_socket, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_thread = std::thread([this] { serve(); });
    return true;
}

void RawPtrResponder::serve()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{m_socket, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0)
            continue;
        char buffer[512];
        sockaddr_in peer{};
        socklen_t peerSize = sizeof peer;
        const ssize_t size = ::recvfrom(m_socket, buffer, sizeof buffer, 0,
                                        reinterpret_cast<sockaddr *>(&peer), &peerSize);
        if (size <= 0)
            continue;
        const QByteArray answer = answerTo(QByteArray(buffer, static_cast<qsizetype>(size)));
        if (answer.isEmpty())
            continue;
        // Counted before the answer leaves, so that whoever got it sees the count.
        ++m_questions;
        ::sendto(m_socket, answer.constData(), static_cast<size_t>(answer.size()), 0,
                 reinterpret_cast<const sockaddr *>(&peer), peerSize);
    }
}

QByteArray RawPtrResponder::answerTo(const QByteArray &query) const
{
    // Header, then one question: labels up to the root, type and class.
    qsizetype end = HeaderSize;
    while (end < query.size() && query[end] != 0)
        end += 1 + static_cast<unsigned char>(query[end]);
    end += 1 + 4;
    if (end > query.size())
        return {};

    QByteArray reply;
    reply.append(query.first(2));     // the query's id
    appendBigEndian16(reply, 0x8400); // a response, authoritative
    appendBigEndian16(reply, 1);      // one question
    appendBigEndian16(reply, 1);      // one answer
    appendBigEndian16(reply, 0);
    appendBigEndian16(reply, 0);
    reply.append(query.sliced(HeaderSize, end - HeaderSize));

    QByteArray name;
    for (const QByteArray &label : m_labels) {
        name.append(static_cast<char>(label.size()));
        name.append(label);
    }
    name.append('\0');
    appendBigEndian16(reply, 0xC000 | HeaderSize); // owner: the question's name
    appendBigEndian16(reply, 12);                  // PTR
    appendBigEndian16(reply, 1);                   // IN
    appendBigEndian16(reply, 0);
    appendBigEndian16(reply, 60); // TTL
    appendBigEndian16(reply, static_cast<quint16>(name.size()));
    reply.append(name);
    return reply;
}
