#pragma once

#include <QFile>
#include <QString>

/// The log file of a scan run: one line per result, each ending in CR LF,
/// nothing else in the file. UTF-8 text.
///
/// add*Line() keeps a line until flush(), which sends all kept lines in one
/// write. A write error (a full disk, say) is found at the line that meets it:
/// the lines before it stay, the part of it that got through is taken back.
/// The first failure, of opening or of writing, ends the log for the run: it
/// is kept in failureReason() and every later write does nothing. Nothing here
/// throws.
class ScanLog
{
public:
    ScanLog() = default;
    ~ScanLog();
    ScanLog(const ScanLog &) = delete;
    ScanLog &operator=(const ScanLog &) = delete;

    /// @p folder with a "/" appended unless it already ends with one.
    static QString logFolderText(const QString &folder);
    /// @p nameText as typed, or "ipnums.txt" when it is blank (only spaces).
    static QString effectiveFileName(const QString &nameText);

    /// Opens the log at @p path: @p overwrite empties the file or creates it;
    /// otherwise lines are appended, and the file is created when missing.
    /// A log already open is closed first. Returns false on failure.
    bool open(const QString &path, bool overwrite);
    /// "address   name   stamp": a result of a ping run. @p name may be empty.
    void addPingLine(const QString &address, const QString &name, const QString &timeStamp);
    /// "address   name": a result of a domain-name run.
    void addDomainLine(const QString &address, const QString &name);
    /// Writes the kept lines. Returns false once the log has failed.
    bool flush();
    /// Flushes, then closes. Harmless when the log never opened.
    void close();

    bool isOpen() const;
    /// Empty while all is well; otherwise why the log stopped, e.g.
    /// "Cannot open /x/ipnums.txt: No such file or directory".
    QString failureReason() const;

private:
    void addLine(const QString &line);

    QFile m_file;
    QByteArray m_pending;
    QString m_failureReason;
};
