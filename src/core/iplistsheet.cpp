#include "iplistsheet.h"

#include "iplistsettings.h"

using namespace Qt::StringLiterals;

IpListSheet::IpListSheet(EchoProber &prober)
    : m_probe(prober)
    , m_rows(kIpListSlotCount)
{}

void IpListSheet::load(SettingsStore &store)
{
    m_editorText = readFirstIpNumber(store);
    // Every cell is filled on its own, so a tab inside a stored text stays in
    // its cell and is written back unchanged.
    const QList<IpListEntry> stored = loadIpList(store);
    m_rows.fill({});
    for (qsizetype row = 0; row < stored.size() && row < m_rows.size(); ++row)
        m_rows[row] = {stored.at(row).ipNumber, stored.at(row).description, QString()};
    m_current = {0, kIpNumberColumn};
    m_editorText = cellText(m_current);
}

bool IpListSheet::save(SettingsStore &store) const
{
    return saveIpList(store, entries());
}

QList<IpListEntry> IpListSheet::entries() const
{
    QList<IpListEntry> entries;
    for (int row = 0; row < m_rows.size(); ++row) {
        IpListEntry entry{m_rows.at(row)[kIpNumberColumn], m_rows.at(row)[kDescriptionColumn]};
        if (row == m_current.row && m_current.column == kIpNumberColumn)
            entry.ipNumber = m_editorText;
        else if (row == m_current.row && m_current.column == kDescriptionColumn)
            entry.description = m_editorText;
        entries.append(entry);
    }
    return entries;
}

QString IpListSheet::cellText(GridCell cell) const
{
    if (cell.row < 0 || cell.row >= m_rows.size() || cell.column < 0 ||
        cell.column >= kGridColumnCount)
        return {};
    return m_rows.at(cell.row)[static_cast<std::size_t>(cell.column)];
}

void IpListSheet::setCell(GridCell cell, const QString &text)
{
    if (cell.row >= 0 && cell.row < m_rows.size() && cell.column >= 0 &&
        cell.column < kGridColumnCount)
        m_rows[cell.row][static_cast<std::size_t>(cell.column)] = text;
}

void IpListSheet::moveTo(GridCell cell)
{
    const GridCell left = m_current;
    m_current = cell;
    if (m_refreshing)
        return;
    setCell(left, m_editorText);
    m_editorText.clear();
    if (left.column == kMarkerColumn)
        setCell(left, m_enteredMarker);
    if (cell.column == kMarkerColumn)
        m_enteredMarker = cellText(cell);
    m_editorText = cellText(cell);
}

void IpListSheet::pressMouse()
{
    m_skipFocusAdvance = true;
    setCell(m_current, m_editorText);
}

void IpListSheet::focusEditor()
{
    setCell(m_current, m_editorText);
}

bool IpListSheet::leaveEditor()
{
    if (m_refreshing)
        return false;
    if (m_skipFocusAdvance) {
        m_skipFocusAdvance = false;
        return false;
    }
    const std::optional<GridCell> next = nextCellAfter(m_current, int(m_rows.size()));
    if (!next)
        return false;
    moveTo(*next);
    return true;
}

std::optional<QString> IpListSheet::refreshMarks()
{
    if (m_refreshing)
        return std::nullopt;
    m_refreshing = true;
    // The probe takes the IP Number the user sees, typed or not.
    setCell(m_current, m_editorText);
    QStringList ipNumbers;
    for (const auto &cells : std::as_const(m_rows))
        ipNumbers.append(cells[kIpNumberColumn]);

    // Where echo requests cannot be sent, rows without a mark would say that
    // nothing answers: the user is told so instead.
    std::optional<QString> unavailable;
    QList<bool> answered;
    EchoProber &prober = m_probe.prober();
    if (prober.ensureAvailable())
        answered = m_probe.probeAndWait(ipNumbers);
    else
        unavailable = echoUnavailableMessage(prober.unavailableReason());
    for (qsizetype row = 0; row < m_rows.size(); ++row)
        m_rows[row][kMarkerColumn] = row < answered.size() && answered.at(row) ? u"X"_s : QString();

    // Over a marker cell the edit box takes the new mark.
    if (m_current.column == kMarkerColumn) {
        m_enteredMarker = cellText(m_current);
        m_editorText = m_enteredMarker;
    }
    m_refreshing = false;
    return unavailable;
}
