#pragma once

#include <QString>

/// The domain column of a result-list line: the text after the first tab, cut
/// before the next tab. A line without a tab is taken whole.
QString domainFromResultLine(const QString &line);
