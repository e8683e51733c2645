#pragma once

#include "iplistentry.h"
#include "iplistprobe.h"

#include <QDialog>

class EchoProber;
class IPListCaptionLabel;
class IPListGrid;
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
class Form2 : public QDialog
{
    Q_OBJECT
public:
    Form2(SettingsStore &store, EchoProber &prober, QWidget *parent = nullptr);
    ~Form2() override;

    /// The rows as they would be stored now: the cells' IP Numbers and
    /// descriptions, with the edit box's text for the cell it stands for.
    QList<IPListEntry> entries() const;

    bool skipFocusAdvance() const { return SkipFocusAdvance; }
    QString enteredMarker() const { return EnteredMarker; }

    IPListCaptionLabel *Label1;
    IPListGrid *MSFlexGrid1;
    QLabel *Label2;
    QLineEdit *Text2;

    void setVisible(bool visible) override;

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    bool Form_Unload();
    bool Form_KeyDown(int KeyCode, int Shift);
    void ShowCellEditor();
    void Text2_GotFocus();
    void Text2_LostFocus();
    void MSFlexGrid1_EnterCell(int row, int column);
    void MSFlexGrid1_LeaveCell(int row, int column);
    void MSFlexGrid1_MouseDown(Qt::MouseButton button);
    void MSFlexGrid1_Scroll();
    void Refresh();
    void ShowFeatureNotAvailable();

    void setUpControls();
    void alignLabel1WithColumns();
    void writeEditorInto(int row, int column);
    void setMarks(const QList<bool> &answered);
    QStringList ipNumbers() const;
    int twipsX(int twips) const;
    int twipsY(int twips) const;

    SettingsStore &m_store;
    IPListProbe m_probe;

    bool Refreshing = false;
    bool SkipFocusAdvance = false;
    QString EnteredMarker;

    bool m_open = false;
    bool m_placed = false;
};
