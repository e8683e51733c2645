#include "iplistcaptionlabel.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

IpListCaptionLabel::IpListCaptionLabel(QWidget *parent)
    : QLabel(parent)
{}

void IpListCaptionLabel::setSecondColumnX(int x)
{
    m_secondColumnX = x;
    update();
}

void IpListCaptionLabel::paintEvent(QPaintEvent *event)
{
    static const QRegularExpression blankRun(QStringLiteral(" {2,}"));
    const QString caption = text();
    const QRegularExpressionMatch gap = blankRun.match(caption);
    if (m_secondColumnX < 0 || !gap.hasMatch()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect area = contentsRect();
    const int flags =
        int(alignment() & Qt::AlignVertical_Mask) | Qt::AlignLeft | Qt::TextSingleLine;
    QRect first = area;
    first.setRight(m_secondColumnX - 1);
    QRect second = area;
    second.setLeft(m_secondColumnX);
    style()->drawItemText(&painter, first, flags, palette(), isEnabled(),
                          caption.left(gap.capturedStart()), foregroundRole());
    style()->drawItemText(&painter, second, flags, palette(), isEnabled(),
                          caption.mid(gap.capturedEnd()), foregroundRole());
}
