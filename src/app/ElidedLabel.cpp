#include "ElidedLabel.h"

#include <QPainter>
#include <QStyle>

void ElidedLabel::setFullText(const QString& text, const QString& note) {
    if (text == this->text() && note == note_) {
        return;
    }
    note_ = note;
    setText(text);
    updateToolTip();
}

bool ElidedLabel::isElided() const {
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QSize ElidedLabel::minimumSizeHint() const {
    // Any width will do: what does not fit is cut, not pushed out of the window.
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ElidedLabel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, int(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), shown, foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip() {
    QStringList lines;
    if (isElided()) {
        lines.append(text());
    }
    if (!note_.isEmpty()) {
        lines.append(note_);
    }
    const QString tip = lines.join(QLatin1Char('\n'));
    if (toolTip() != tip) {
        setToolTip(tip);
    }
}
