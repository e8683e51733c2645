#pragma once

#include "iplistentry.h"
#include "iplistprobe.h"
#include "iplistrules.h"

#include <QList>
#include <QString>
#include <array>
#include <optional>

class EchoProber;
class SettingsStore;

/// The rules of the IP Number List window without its widgets: the 100 rows
/// with their marks, the current cell, the text of the edit box laid over it,
/// and what each event of the window does to them. The window shows what
/// this holds and passes its events on.
///
/// The edit box stands for the current cell: it takes the cell's text when
/// the cell becomes current, and its text goes into the cell when the cell is
/// left, when the edit box takes the focus and when a mouse button is
/// pressed on the grid. A marker cell always gets back the mark it had when
/// it was entered.
class IpListSheet
{
public:
    explicit IpListSheet(EchoProber &prober);

    /// Reads "IP_0" into the edit box, then all slots into the rows; row 0,
    /// column 0 becomes current. The marks are cleared.
    void load(SettingsStore &store);
    /// Stores the rows as entries() gives them; false when the store failed.
    bool save(SettingsStore &store) const;
    /// The rows as they would be stored now, the edit box's text counted for
    /// the cell it stands for.
    QList<IpListEntry> entries() const;

    QString cellText(GridCell cell) const;
    GridCell current() const { return m_current; }
    QString editorText() const { return m_editorText; }
    /// What the user typed into the edit box.
    void setEditorText(const QString &text) { m_editorText = text; }
    QString enteredMarker() const { return m_enteredMarker; }
    bool isRefreshing() const { return m_refreshing; }

    /// Makes @p cell current: the cell left takes the edit box's text (a
    /// marker cell its mark), then the edit box takes the new cell's text.
    /// While refreshing only the current cell changes.
    void moveTo(GridCell cell);
    /// A mouse button was pressed on the grid: the current cell takes the edit
    /// box's text, and the next focus loss of the edit box moves nothing.
    void pressMouse();
    /// The edit box got the focus: the current cell takes its text.
    void focusEditor();
    /// The edit box lost the focus: moves on to the next cell unless a mouse
    /// press on the grid caused it. True when the current cell moved.
    bool leaveEditor();

    /// Probes every row's IP Number at once, the edit box's text counted for
    /// its cell, and sets the marks; the current cell stays. Where echo
    /// requests cannot be sent every mark is cleared and the message to tell
    /// the user, once for this probing, is returned.
    std::optional<QString> refreshMarks();

private:
    void setCell(GridCell cell, const QString &text);

    IpListProbe m_probe;
    QList<std::array<QString, kGridColumnCount>> m_rows;
    GridCell m_current;
    QString m_editorText;
    QString m_enteredMarker;
    bool m_skipFocusAdvance = false;
    bool m_refreshing = false;
};
