#include "browserlauncher_linux.h"

#include "commandline.h"
#include "desktopentry.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

// A target that a browser would read as an option (a PTR record such as
// "--renderer-cmd-prefix=...") or that cannot travel in argv unchanged.
bool isSafeTarget(const QString &target)
{
    return !target.startsWith(u'-') && !target.contains(QChar::Null);
}

bool isValidDesktopId(const QString &id)
{
    return id.endsWith(u".desktop"_s) && id.size() > 8 && !id.contains(u'/') &&
           !id.contains(QChar::Null);
}

// Replaces %s by the target and %% by a percent sign; tells whether %s occurred.
QString expandBrowserWord(const QString &word, const QString &target, bool &targetPlaced)
{
    QString out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] == u'%' && i + 1 < word.size()) {
            if (word[i + 1] == u's') {
                out += target;
                targetPlaced = true;
                ++i;
                continue;
            }
            if (word[i + 1] == u'%') {
                out += u'%';
                ++i;
                continue;
            }
        }
        out += word[i];
    }
    return out;
}

} // namespace

LinuxBrowserLauncher::LinuxBrowserLauncher(const QProcessEnvironment &environment)
    : m_environment(environment)
{}

BrowserLauncher::LaunchResult LinuxBrowserLauncher::launch(const QString &target)
{
    const std::optional<Command> command = findBrowser(target);
    if (!command)
        return LaunchResult::NoBrowser;
    if (!isSafeTarget(target))
        return LaunchResult::NotStarted;

    QProcess process;
    process.setProgram(command->program);
    process.setArguments(command->arguments);
    process.setProcessEnvironment(command->environment);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached() ? LaunchResult::Started : LaunchResult::NotStarted;
}

std::optional<LinuxBrowserLauncher::Command>
LinuxBrowserLauncher::findBrowser(const QString &target) const
{
    if (auto command = fromBrowserVariable(target))
        return command;
    if (auto command = fromXdgDefault(target))
        return command;
    return fromDebianAlternatives(target);
}

std::optional<LinuxBrowserLauncher::Command>
LinuxBrowserLauncher::fromBrowserVariable(const QString &target) const
{
    const QString browsers = m_environment.value(u"BROWSER"_s);
    for (const QString &entry : browsers.split(u':', Qt::SkipEmptyParts)) {
        const std::optional<QList<CommandWord>> words = splitCommandLine(entry);
        if (!words || words->isEmpty() || words->first().text.contains(u'%'))
            continue;
        const QString program = findProgram(words->first().text);
        if (program.isEmpty())
            continue;
        // The convention writes '%s' in quotes for the shell it assumed; no
        // shell runs here, so %s is replaced in quoted words as well.
        QStringList arguments;
        bool targetPlaced = false;
        for (qsizetype i = 1; i < words->size(); ++i)
            arguments.append(expandBrowserWord(words->at(i).text, target, targetPlaced));
        if (!targetPlaced)
            arguments.append(target);
        return Command{program, arguments, m_environment};
    }
    return std::nullopt;
}

std::optional<LinuxBrowserLauncher::Command>
LinuxBrowserLauncher::fromXdgDefault(const QString &target) const
{
    const QString queries[][4] = {
        {u"xdg-settings"_s, u"get"_s, u"default-web-browser"_s, {}},
        {u"xdg-mime"_s, u"query"_s, u"default"_s, u"x-scheme-handler/http"_s},
    };
    for (const auto &query : queries) {
        QStringList arguments{query[1], query[2]};
        if (!query[3].isEmpty())
            arguments.append(query[3]);
        const QString desktopId = queryDesktopId(query[0], arguments);
        if (desktopId.isEmpty())
            continue;
        const QString path = findDesktopFile(desktopId);
        if (path.isEmpty())
            continue;
        const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
        if (!entry || entry->isHidden())
            continue;
        std::optional<QStringList> command = entry->commandFor(target);
        if (!command)
            continue;
        const QString program = findProgram(command->takeFirst());
        if (!program.isEmpty())
            return Command{program, *command, m_environment};
    }
    return std::nullopt;
}

std::optional<LinuxBrowserLauncher::Command>
LinuxBrowserLauncher::fromDebianAlternatives(const QString &target) const
{
    const QString alternative = findProgram(u"x-www-browser"_s);
    if (!alternative.isEmpty())
        return Command{alternative, {target}, m_environment};

    // sensible-browser exits quietly when it has nothing to start, which would
    // look like a started browser: take it only when it has something to run.
    const QString sensible = findProgram(u"sensible-browser"_s);
    if (sensible.isEmpty() ||
        (findProgram(u"gnome-www-browser"_s).isEmpty() && findProgram(u"www-browser"_s).isEmpty()))
        return std::nullopt;
    // BROWSER was tried above already; sensible-browser would run it again.
    QProcessEnvironment environment = m_environment;
    environment.remove(u"BROWSER"_s);
    return Command{sensible, {target}, environment};
}

QString LinuxBrowserLauncher::findProgram(const QString &name) const
{
    if (name.isEmpty())
        return {};
    if (name.contains(u'/')) {
        const QFileInfo info(name);
        return info.isFile() ? info.absoluteFilePath() : QString();
    }
    // As execvp does, prefer an executable file; an existing file that cannot
    // be executed still counts as found, so that it is reported as not started.
    QString firstExisting;
    const QString path = m_environment.value(u"PATH"_s);
    for (const QString &dir : path.split(u':', Qt::SkipEmptyParts)) {
        const QFileInfo info(QDir(dir), name);
        if (!info.isFile())
            continue;
        if (info.isExecutable())
            return info.absoluteFilePath();
        if (firstExisting.isEmpty())
            firstExisting = info.absoluteFilePath();
    }
    return firstExisting;
}

QString LinuxBrowserLauncher::queryDesktopId(const QString &tool,
                                             const QStringList &arguments) const
{
    const QString program = findProgram(tool);
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        return {};
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(m_environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForFinished(m_queryTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    const QString answer =
        QString::fromLocal8Bit(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
    return isValidDesktopId(answer) ? answer : QString();
}

QString LinuxBrowserLauncher::findDesktopFile(const QString &desktopId) const
{
    const QStringList dirs = dataDirs();
    for (const QString &dir : dirs) {
        const QFileInfo direct(dir + u"/applications/"_s + desktopId);
        if (direct.isFile())
            return direct.absoluteFilePath();
    }
    // A file in a subfolder has an id with the folder and a dash before its
    // name: applications/kde4/konqueror.desktop is kde4-konqueror.desktop.
    for (const QString &dir : dirs) {
        const QDir applications(dir + u"/applications"_s);
        if (!applications.exists())
            continue;
        QDirIterator it(applications.path(), {u"*.desktop"_s}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (applications.relativeFilePath(path).replace(u'/', u'-') == desktopId)
                return path;
        }
    }
    return {};
}

QStringList LinuxBrowserLauncher::dataDirs() const
{
    QString home = m_environment.value(u"XDG_DATA_HOME"_s);
    if (home.isEmpty() && m_environment.contains(u"HOME"_s))
        home = m_environment.value(u"HOME"_s) + u"/.local/share"_s;
    QString system = m_environment.value(u"XDG_DATA_DIRS"_s);
    if (system.isEmpty())
        system = u"/usr/local/share:/usr/share"_s;

    QStringList dirs;
    if (!home.isEmpty())
        dirs.append(home);
    dirs.append(system.split(u':', Qt::SkipEmptyParts));
    return dirs;
}

std::unique_ptr<BrowserLauncher> createSystemBrowserLauncher()
{
    return std::make_unique<LinuxBrowserLauncher>();
}
