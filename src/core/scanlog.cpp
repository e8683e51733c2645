#include "scanlog.h"

#include "timestamp.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QLatin1StringView FieldGap = "   "_L1;

// The resolver already escapes names, but the file must hold one line per
// result whatever a caller passes: a CR or LF would forge an extra line.
// Control characters are written as \xHH, as the resolver writes them.
QString withoutControls(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            safe += QString::asprintf("\\x%02X", unsigned(c.unicode()));
        else
            safe += c;
    }
    return safe;
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
    m_file.setFileName(path);
    // Unbuffered: each line reaches the system at once, so its error is its own.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                     (overwrite ? QIODevice::Truncate : QIODevice::Append);
    if (!m_file.open(mode)) {
        m_failureReason = u"Cannot open %1: %2"_s.arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void ScanLog::writePingLine(const QString &address, const QString &name, const QDateTime &when)
{
    writeLine(address % FieldGap % name % FieldGap % formatTimeStamp(when));
}

void ScanLog::writeDomainLine(const QString &address, const QString &name)
{
    writeLine(address % FieldGap % name);
}

void ScanLog::writeLine(const QString &line)
{
    if (!m_file.isOpen())
        return;
    const QByteArray bytes = withoutControls(line).toUtf8() + "\r\n";
    const qint64 sizeBefore = m_file.size();
    qint64 written = 0;
    // A short write is retried for the rest; the retry then reports the cause.
    while (written < bytes.size()) {
        const qint64 n = m_file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            m_failureReason = u"Cannot write %1: %2"_s.arg(m_file.fileName(), m_file.errorString());
            // Take back a partial line so the file holds whole lines only; a
            // device such as /dev/full cannot be resized, which is harmless.
            if (written > 0)
                m_file.resize(sizeBefore);
            m_file.close();
            return;
        }
        written += n;
    }
}

void ScanLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool ScanLog::isOpen() const
{
    return m_file.isOpen();
}

QString ScanLog::failureReason() const
{
    return m_failureReason;
}
