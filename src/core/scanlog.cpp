#include "scanlog.h"

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QLatin1StringView FieldGap = "   "_L1;

// The resolver already escapes names, but the file must hold one line per
// result whatever a caller passes: a CR or LF would forge an extra line.
// Control characters are written as \xHH, as the resolver writes them.
void appendWithoutControls(QByteArray &bytes, const QString &text)
{
    const auto isControl = [](QChar c) { return c.category() == QChar::Other_Control; };
    if (std::none_of(text.cbegin(), text.cend(), isControl)) {
        bytes += text.toUtf8();
        return;
    }
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c))
            safe += QString::asprintf("\\x%02X", unsigned(c.unicode()));
        else
            safe += c;
    }
    bytes += safe.toUtf8();
}

} // namespace

ScanLog::~ScanLog()
{
    close();
}

QString ScanLog::logFolderText(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString ScanLog::effectiveFileName(const QString &nameText)
{
    const bool blank =
        std::all_of(nameText.cbegin(), nameText.cend(), [](QChar c) { return c == u' '; });
    return blank ? u"ipnums.txt"_s : nameText;
}

bool ScanLog::open(const QString &path, bool overwrite)
{
    close();
    m_failureReason.clear();
    m_pending.clear();
    m_file.setFileName(path);
    // Unbuffered: what flush() hands over reaches the system at once, so its
    // error is found there.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                     (overwrite ? QIODevice::Truncate : QIODevice::Append);
    if (!m_file.open(mode)) {
        m_failureReason = u"Cannot open %1: %2"_s.arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void ScanLog::addPingLine(const QString &address, const QString &name, const QString &timeStamp)
{
    addLine(address % FieldGap % name % FieldGap % timeStamp);
}

void ScanLog::addDomainLine(const QString &address, const QString &name)
{
    addLine(address % FieldGap % name);
}

void ScanLog::addLine(const QString &line)
{
    if (!m_file.isOpen())
        return;
    appendWithoutControls(m_pending, line);
    m_pending += "\r\n";
}

bool ScanLog::flush()
{
    if (!m_file.isOpen())
        return false;
    const QByteArray bytes = std::exchange(m_pending, {});
    if (bytes.isEmpty())
        return true;
    const qint64 sizeBefore = m_file.size();
    qint64 written = 0;
    // A short write is retried for the rest; the retry then reports the cause.
    while (written < bytes.size()) {
        const qint64 n = m_file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            m_failureReason = u"Cannot write %1: %2"_s.arg(m_file.fileName(), m_file.errorString());
            // Whole lines only: the lines that got through stay, the part of
            // the line that met the error is taken back. A device such as
            // /dev/full cannot be resized, which is harmless.
            const qint64 lastEnd = written < 2 ? -1 : bytes.lastIndexOf("\r\n", written - 2);
            const qint64 whole = lastEnd < 0 ? 0 : lastEnd + 2;
            if (whole < written)
                m_file.resize(sizeBefore + whole);
            m_file.close();
            return false;
        }
        written += n;
    }
    return true;
}

void ScanLog::close()
{
    if (m_file.isOpen()) {
        flush();
        m_file.close();
    }
    m_pending.clear();
}

bool ScanLog::isOpen() const
{
    return m_file.isOpen();
}

QString ScanLog::failureReason() const
{
    return m_failureReason;
}
