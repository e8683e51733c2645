#include "browserfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

BrowserFixture::BrowserFixture(const QString &baseDir)
    : m_dir(baseDir + u"/browser-XXXXXX"_s)
{
    const QDir root(m_dir.path());
    for (const QString &sub : {u"bin"_s, u"home"_s, u"data/applications"_s, u"share/applications"_s,
                               u"config"_s, u"records"_s, u"tmp"_s})
        root.mkpath(sub);
}

QString BrowserFixture::path(const QString &relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
}

QString BrowserFixture::installStandIn(const QString &name, const QString &folder)
{
    QDir(m_dir.path()).mkpath(folder);
    const QString link = path(folder + u'/' + name);
    QFile::remove(link);
    if (!QFile::link(QStringLiteral(CORVANE_STANDIN_BROWSER), link))
        return {};
    return link;
}

QString BrowserFixture::writeFile(const QString &relative, const QByteArray &contents,
                                  bool executable)
{
    const QString filePath = path(relative);
    QDir().mkpath(QFileInfo(filePath).path());
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0)
        return {};
    file.close();
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
        permissions |= QFileDevice::ExeOwner;
    file.setPermissions(permissions);
    return filePath;
}

QProcessEnvironment BrowserFixture::environment() const
{
    QProcessEnvironment env;
    env.insert(u"PATH"_s, binDir());
    env.insert(u"HOME"_s, path(u"home"_s));
    env.insert(u"XDG_DATA_HOME"_s, path(u"data"_s));
    env.insert(u"XDG_DATA_DIRS"_s, path(u"share"_s));
    env.insert(u"XDG_CONFIG_HOME"_s, path(u"config"_s));
    env.insert(u"XDG_CONFIG_DIRS"_s, path(u"config"_s));
    env.insert(u"TMPDIR"_s, path(u"tmp"_s));
    env.insert(u"CORVANE_STANDIN_RECORDS"_s, recordDir());
    return env;
}

QStringList BrowserFixture::record(const QString &name) const
{
    QFile file(recordDir() + u'/' + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList argv;
    const QList<QByteArray> parts = file.readAll().split('\0');
    // Every argument ends with a NUL, so the last part is the empty rest.
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        argv.append(QString::fromUtf8(parts[i]));
    return argv;
}

bool BrowserFixture::hasRecord(const QString &name) const
{
    return QFileInfo::exists(recordDir() + u'/' + name);
}

QStringList BrowserFixture::records() const
{
    return QDir(recordDir()).entryList(QDir::Files);
}
