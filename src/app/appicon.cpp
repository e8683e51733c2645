#include "appicon.h"

#include <QString>
#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr std::array kBundledSizes{16, 22, 24, 32, 48, 64, 128, 256};

} // namespace

QIcon bundledCorvaneIcon()
{
    QIcon icon;
    for (const int size : kBundledSizes)
        icon.addFile(u":/icons/hicolor/%1x%1/apps/corvane.png"_s.arg(size), QSize(size, size));
    return icon;
}

QIcon corvaneIcon()
{
    // The theme lookup counts a file that cannot be read as found; the window
    // and the tray would then have no icon at all.
    const QIcon themed = QIcon::fromTheme(u"corvane"_s);
    if (!themed.isNull() && !themed.pixmap(QSize(16, 16)).isNull() &&
        !themed.pixmap(QSize(32, 32)).isNull())
        return themed;
    return bundledCorvaneIcon();
}
