#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

/// The log file of a scan run: one line per result, each ending in CR LF,
/// nothing else in the file. UTF-8 text.
///
/// Every line goes to the file at once, so a write error (a full disk, say) is
/// seen at the line that meets it. The first failure, of opening or of
/// writing, ends the log for the run: it is kept in failureReason() and every
/// later write does nothing. Nothing here throws.
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
    void writePingLine(const QString &address, const QString &name, const QDateTime &when);
    /// "address   name": a result of a domain-name run.
    void writeDomainLine(const QString &address, const QString &name);
    /// Harmless when the log never opened.
    void close();

    bool isOpen() const;
    /// Empty while all is well; otherwise why the log stopped, e.g.
    /// "Cannot open /x/ipnums.txt: No such file or directory".
    QString failureReason() const;

private:
    void writeLine(const QString &line);

    QFile m_file;
    QString m_failureReason;
};
