#pragma once

#include <QLabel>

/// A label over a table whose caption names the columns, separated by a run
/// of blanks ("IP Number      Description"). The text stays as given; the
/// word after the blanks is drawn where its column starts, which blanks alone
/// cannot do in a proportional font.
class IpListCaptionLabel : public QLabel
{
    Q_OBJECT
public:
    explicit IpListCaptionLabel(QWidget *parent = nullptr);

    /// Where the text after the run of blanks starts, in the label's
    /// coordinates; -1 draws the text as a plain label does.
    void setSecondColumnX(int x);
    int secondColumnX() const { return m_secondColumnX; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_secondColumnX = -1;
};
