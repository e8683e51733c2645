#pragma once

#include <QFrame>
#include <array>

class QLineEdit;

/// An entry field for one IPv4 address: four octet boxes with dots between
/// them, typed the way people type addresses.
///
/// text() gives the four octets joined by ".", each as typed (leading zeros
/// kept); the empty text when every box is empty. In a partly filled field an
/// empty box reads as "0", and shows "0" once the focus leaves the field, so
/// that what the field shows is the address a scan uses.
///
/// setText() takes four dotted octets of one to three digits each, 0 to 255,
/// with blanks around the whole allowed; it shows them as written, and text()
/// gives them back unchanged. Any other text (letters, a missing or extra
/// octet, an octet above 255) leaves the field empty: it reads as the empty
/// text, the same as a field the user has not filled in.
class IpAddressEdit : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged USER true)

public:
    explicit IpAddressEdit(QWidget *parent = nullptr);
    ~IpAddressEdit() override;

    QString text() const;
    void setText(const QString &text);

    /// The box of octet @p index (0 to 3, most significant first).
    QLineEdit *octetBox(int index) const;

    /// The machine's own IP Number as dotted text, or the empty text when it has none.
    static QString ownIpNumber();

signals:
    void textChanged(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int indexOf(const QObject *box) const;
    bool handleKey(int index, QKeyEvent *event);
    void showContextMenu(int index, const QPoint &globalPos);
    void paste(int index, const QString &text);
    void moveTo(int index, int cursor);
    void fillEmptyBoxes();
    void announce();

    std::array<QLineEdit *, 4> m_boxes{};
    QString m_announced;
    bool m_settingText = false;
};
