#pragma once

#include "iplistentry.h"
#include "iplistprobe.h"

#include <QDialog>

class EchoProber;
class IpListCaptionLabel;
class IpListGrid;
class QLabel;
class QLineEdit;
class SettingsStore;

/// The IP Number List window: the kept IP Numbers with their descriptions in
/// a grid of 100 rows, and an "X" beside each one that answers an echo
/// request. The user edits in place through one edit box laid over the
/// current cell, refreshes the marks with F5 and closes with ESC, which
/// stores the list.
///
/// The constructor reads the list and probes all rows at once, waiting in a
/// local event loop that takes no user input (about one probe time-out) under
/// the hourglass, so the window shows with its marks: open it with exec().
/// Closing (ESC, the close box, reject()) stores the list; when the store
/// cannot be written the user is told why and may keep the window open.
/// The store and the prober must outlive the window.
class IpListWindow : public QDialog
{
    Q_OBJECT
public:
    IpListWindow(SettingsStore &store, EchoProber &prober, QWidget *parent = nullptr);
    ~IpListWindow() override;

    /// The rows as they would be stored now: the cells' IP Numbers and
    /// descriptions, with the edit box's text for the cell it stands for.
    QList<IpListEntry> entries() const;

    bool skipFocusAdvance() const { return m_skipFocusAdvance; }
    QString enteredMarker() const { return m_enteredMarker; }

    IpListCaptionLabel *m_columnCaption;
    IpListGrid *m_grid;
    QLabel *m_keyHelp;
    QLineEdit *m_cellEditor;

    void setVisible(bool visible) override;

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void startUp();
    bool shutDown();
    bool handleKeyDown(int KeyCode, int Shift);
    void showCellEditor();
    void onCellEditorFocused();
    void onCellEditorLeft();
    void onCellEntered(int row, int column);
    void onCellLeft(int row, int column);
    void onGridMousePressed(Qt::MouseButton button);
    void onGridScrolled();
    void refreshMarks();
    void showFeatureNotAvailable();

    void setUpControls();
    void alignCaptionWithColumns();
    void writeEditorInto(int row, int column);
    void setMarks(const QList<bool> &answered);
    QStringList ipNumbers() const;
    int twipsX(int twips) const;
    int twipsY(int twips) const;

    SettingsStore &m_store;
    IpListProbe m_probe;

    bool Refreshing = false;
    bool m_skipFocusAdvance = false;
    QString m_enteredMarker;

    bool m_open = false;
    bool m_placed = false;
};
