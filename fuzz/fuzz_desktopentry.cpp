// Desktop entries and Exec lines as any file may hold them: "<target>\n<file>".
// The browser gets the target as one whole argument, exactly once, never
// inside another word or as the program, however it is quoted. An entry whose
// group starts with Hidden=true counts as deleted, with Hidden=false not.

#include "commandline.h"
#include "desktopentry.h"
#include "fuzzsupport.h"

using namespace Qt::StringLiterals;

namespace {

// Marks the target; taken out of the file so that only the target carries it.
constexpr QChar kMarker = QChar(0xE000);

void checkCommand(const std::optional<QStringList> &command, const QString &target)
{
    if (!command)
        return;
    FUZZ_CHECK(!command->isEmpty() && !command->first().isEmpty());
    FUZZ_CHECK(!command->first().contains(kMarker));
    qsizetype holders = 0;
    for (const QString &argument : *command) {
        if (argument.contains(kMarker)) {
            ++holders;
            FUZZ_CHECK(argument.count(kMarker) == 1 && argument.contains(target));
        }
    }
    FUZZ_CHECK(holders == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [targetBytes, fileBytes] = fuzzSplit(data, size, false);
    const QString target = kMarker + QString::fromUtf8(targetBytes).remove(kMarker);
    const QString file = QString::fromUtf8(fileBytes).remove(kMarker);

    const std::optional<DesktopEntry> entry = DesktopEntry::parse(file.toUtf8());
    if (entry)
        checkCommand(entry->commandFor(target), target);
    // The whole file as one Exec value too, so the fuzzer need not find the group first.
    checkCommand(DesktopEntry::expandExec(file, target), target);
    for (const bool hidden : {true, false}) {
        const QString group = u"[Desktop Entry]\nHidden=%1\n"_s.arg(hidden ? u"true" : u"false");
        const std::optional<DesktopEntry> first = DesktopEntry::parse((group + file).toUtf8());
        FUZZ_CHECK(first && first->isHidden() == hidden);
    }
    if (const std::optional<QList<CommandWord>> words = splitCommandLine(file)) {
        for (const CommandWord &word : *words)
            FUZZ_CHECK(word.quoted || !word.text.isEmpty());
    }
    return 0;
}
