#pragma once

#include "iplistsheet.h"

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
/// stores the list. The rules live in IpListSheet; the window shows it and
/// passes its events on.
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

    void setVisible(bool visible) override;

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void onCurrentCellChanged(int row, int column);
    void onGridMousePressed();
    void onGridScrolled();
    void onCellEditorFocused();
    void onCellEditorLeft();
    void refreshMarks();
    void showFeatureNotAvailable();

private:
    void setUpControls();
    void setUpGrid();
    void alignCaptionWithColumns();
    bool confirmClosing();
    bool handleKey(const QKeyEvent *key);
    void showCellEditor();
    void showCells();
    void showCurrentCell();
    int twipsX(int twips) const;
    int twipsY(int twips) const;

    IpListCaptionLabel *m_columnCaption;
    IpListGrid *m_grid;
    QLabel *m_keyHelp;
    QLineEdit *m_cellEditor;

    SettingsStore &m_store;
    IpListSheet m_sheet;
    bool m_open = false;
    bool m_placed = false;
};
