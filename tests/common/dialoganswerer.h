#pragma once

#include <QMessageBox>
#include <QPointer>

/// What one modal dialog showed before it was answered.
struct SeenDialog
{
    QString title;
    QString text;    ///< a message box's text, or an input prompt's label
    QString offered; ///< the text an input prompt offered
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QPointer<QWidget> parent;
    bool beeped = false;     ///< the failure beep came since the dialog before
    bool waitCursor = false; ///< a wait cursor was up while it showed
};

/// Answers each modal dialog as soon as it shows, as a user would: a message box with the next
/// queued button (else its default or escape button), an input prompt by typing the next queued
/// text and pressing OK (Cancel when none is queued, or for kCancel). Keeps what each showed.
class DialogAnswerer : public QObject
{
public:
    static inline const QString kCancel = QStringLiteral("<cancel>");

    explicit DialogAnswerer(QList<QMessageBox::StandardButton> buttons = {},
                            QStringList texts = {});
    ~DialogAnswerer() override;

    const QList<SeenDialog> &seen() const { return m_seen; }
    QStringList texts() const;
    void clear() { m_seen.clear(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void answer(QDialog *dialog);

    QList<QMessageBox::StandardButton> m_buttons;
    QStringList m_texts;
    QList<SeenDialog> m_seen;
    bool m_beepHeard = false;
};
