// The shape check of a typed address, against a plain reading of its rule:
// exactly three dots, and each of the first three parts an optionally signed
// decimal number from -32768 to 32767 with spaces allowed around it.

#include "fuzzsupport.h"
#include "resolver.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

bool isShortNumber(QStringView part)
{
    static const QRegularExpression number(
        QRegularExpression::anchoredPattern(u" *[+-]?[0-9]+ *"_s));
    if (!number.match(part.toString()).hasMatch())
        return false;
    QStringView digits = part.trimmed();
    if (digits.startsWith(u'+'))
        digits = digits.sliced(1);
    bool ok = false;
    // Long runs of leading zeros still name a small number.
    const bool negative = digits.startsWith(u'-');
    if (negative)
        digits = digits.sliced(1);
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    const qlonglong value = digits.toLongLong(&ok);
    return ok && (negative ? value <= 32768 : value <= 32767);
}

bool referenceForm(const QString &text)
{
    const QList<QStringView> parts = QStringView(text).split(u'.');
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!isShortNumber(parts[i]))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    FUZZ_CHECK(hasIpNumberForm(text) == referenceForm(text));
    return 0;
}
