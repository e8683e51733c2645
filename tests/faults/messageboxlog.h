#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>

/// Notes every message box the application shows and answers it with its
/// default button (or closes it) as soon as it is up, so that code telling
/// the user something never blocks a test, and the test can count what the
/// user was told. It also notes whether the failure beep came before a box.
class MessageBoxLog : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool beeped = false; ///< the failure beep came since the box before
    };

    MessageBoxLog();
    ~MessageBoxLog() override;

    const QList<Entry> &entries() const { return m_entries; }
    QStringList texts() const;
    void clear() { m_entries.clear(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<Entry> m_entries;
    bool m_beepHeard = false;
};
