#pragma once

#include <QLabel>

// A one-line label for texts of any length in a space of fixed width: a text too long for it is
// cut with an ellipsis, and then its tooltip holds the whole text. text() is the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Shows text; note, when given, is added to the tooltip on a line of its own.
    void setFullText(const QString& text, const QString& note = QString());
    // The text does not fit and is shown cut.
    bool isElided() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();

    QString note_;
};
