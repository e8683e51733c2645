#include "commandline.h"

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isEscapableInDoubleQuotes(QChar c)
{
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

} // namespace

std::optional<QList<CommandWord>> splitCommandLine(QStringView line)
{
    QList<CommandWord> words;
    CommandWord word;
    bool inWord = false;
    const qsizetype size = line.size();

    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = line[i];
        if (isBlank(c)) {
            if (inWord) {
                words.append(word);
                word = {};
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == u'"') {
            word.quoted = true;
            for (++i;; ++i) {
                if (i >= size)
                    return std::nullopt;
                const QChar q = line[i];
                if (q == u'"')
                    break;
                if (q == u'\\' && i + 1 < size && isEscapableInDoubleQuotes(line[i + 1]))
                    word.text += line[++i];
                else
                    word.text += q;
            }
        } else if (c == u'\'') {
            word.quoted = true;
            const qsizetype close = line.indexOf(u'\'', i + 1);
            if (close < 0)
                return std::nullopt;
            word.text += line.mid(i + 1, close - i - 1);
            i = close;
        } else if (c == u'\\') {
            word.quoted = true;
            if (i + 1 < size)
                word.text += line[++i];
            else
                word.text += c;
        } else {
            word.text += c;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}
