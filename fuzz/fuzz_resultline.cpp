// The domain column of a result line, on any line and on the lines a scan
// forms from a name the resolver delivered.
//
// Input: "<address>\n<raw name bytes>". The name goes through the same
// escaping as a looked-up name, and the double-click must hand the browser
// exactly that escaped name, in both modes that carry names.

#include "fuzzsupport.h"
#include "hostnameescape.h"
#include "resultline.h"
#include "scansession.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);

    const QString anyLine = QString::fromUtf8(bytes);
    const QString domain = domainFromResultLine(anyLine);
    FUZZ_CHECK(!domain.contains(u'\t'));
    FUZZ_CHECK(anyLine.contains(domain));
    if (!anyLine.contains(u'\t'))
        FUZZ_CHECK(domain == anyLine);
    else
        FUZZ_CHECK(anyLine.sliced(anyLine.indexOf(u'\t') + 1).startsWith(domain));

    const qsizetype cut = bytes.indexOf('\n');
    // The address comes from the field: never a tab in it.
    const QString address = QString::fromUtf8(cut < 0 ? bytes : bytes.first(cut)).remove(u'\t');
    const QString name =
        escapeHostName(cut < 0 ? QByteArrayView() : QByteArrayView(bytes).sliced(cut + 1));
    const QString stamp = u"12/05/26 03:26:08 pm"_s;
    FUZZ_CHECK(domainFromResultLine(resultListLine(true, true, address, name, stamp)) == name);
    FUZZ_CHECK(domainFromResultLine(resultListLine(false, true, address, name, stamp)) == name);
    return 0;
}
