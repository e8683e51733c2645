#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// A private world for browser launches: a folder with bin/ (the only PATH),
/// home/, data/ (XDG_DATA_HOME), share/ (XDG_DATA_DIRS), config/
/// (XDG_CONFIG_HOME), tmp/ (TMPDIR) and records/, where the stand-in browser writes the
/// arguments it was started with, one file per program name.
class BrowserFixture
{
public:
    /// Creates the folder below @p baseDir.
    explicit BrowserFixture(const QString &baseDir);

    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &relative = {}) const;
    QString binDir() const { return path(QStringLiteral("bin")); }
    QString recordDir() const { return path(QStringLiteral("records")); }

    /// Links the stand-in browser as @p folder/@p name (folder relative to
    /// the fixture, bin/ by default) and returns the link's path.
    QString installStandIn(const QString &name, const QString &folder = QStringLiteral("bin"));
    /// Writes a file below the fixture and returns its path.
    QString writeFile(const QString &relative, const QByteArray &contents, bool executable = false);

    /// PATH is bin/ alone, no BROWSER, private HOME and XDG folders.
    QProcessEnvironment environment() const;

    /// The record of the stand-in started as @p name: its argv, argv[0] first.
    QStringList record(const QString &name) const;
    bool hasRecord(const QString &name) const;
    /// Names of the complete records (a record being written is hidden).
    QStringList records() const;

private:
    QTemporaryDir m_dir;
};
