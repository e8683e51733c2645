// Desktop entries and their Exec lines, as any file on the system may hold
// them, expanded for a target that no Exec line can contain.
//
// Input: "<target>\n<desktop file>". The browser must get the target as one
// whole argument, exactly once, and never inside another word: a target with
// blanks or quotes must not turn into several arguments or reach the program
// name.

#include "commandline.h"
#include "desktopentry.h"
#include "fuzzsupport.h"

using namespace Qt::StringLiterals;

namespace {

// Marks the target; removed from the file so only the target carries it.
constexpr QChar Marker = QChar(0xE000);

void checkCommand(const std::optional<QStringList> &command, const QString &target)
{
    if (!command)
        return;
    FUZZ_CHECK(!command->isEmpty());
    FUZZ_CHECK(!command->first().isEmpty());
    FUZZ_CHECK(!command->first().contains(Marker));
    qsizetype holders = 0;
    for (const QString &argument : *command) {
        if (!argument.contains(Marker))
            continue;
        ++holders;
        FUZZ_CHECK(argument.count(Marker) == 1);
        FUZZ_CHECK(argument.contains(target));
    }
    FUZZ_CHECK(holders == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const qsizetype cut = bytes.indexOf('\n');
    const QString target =
        Marker + QString::fromUtf8(cut < 0 ? QByteArray() : bytes.first(cut)).remove(Marker);
    QString file = QString::fromUtf8(cut < 0 ? bytes : bytes.sliced(cut + 1));
    file.remove(Marker);

    if (const std::optional<DesktopEntry> entry = DesktopEntry::parse(file.toUtf8())) {
        checkCommand(entry->commandFor(target), target);
        (void)entry->isHidden();
    }
    // The whole file as one Exec value as well, so the fuzzer need not find the group first.
    checkCommand(DesktopEntry::expandExec(file, target), target);

    if (const std::optional<QList<CommandWord>> words = splitCommandLine(file)) {
        for (const CommandWord &word : *words)
            FUZZ_CHECK(word.quoted || !word.text.isEmpty());
    }
    return 0;
}
