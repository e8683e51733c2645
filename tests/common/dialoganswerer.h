#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

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

/// Answers the real modal dialogs of the code under test as a user would, as
/// soon as each one is shown: a message box with the next queued button (else
/// its default or escape button), an input prompt by typing the next queued
/// text and pressing OK (Cancel when none is queued, or for the text
/// DialogAnswerer::kCancel). Everything each dialog showed is kept.
class DialogAnswerer : public QObject
{
    Q_OBJECT
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
    void answer(QPointer<QDialog> dialog);

    QList<QMessageBox::StandardButton> m_buttons;
    QStringList m_texts;
    QList<SeenDialog> m_seen;
    bool m_beepHeard = false;
};
