#pragma once

#include <QColor>
#include <QFrame>

namespace selva {

// A colour sample of the appearance windows: a framed area filled with its colour. Releasing the left
// mouse button over it emits released(), which the windows answer with the colour dialog.
class ColorSample : public QFrame {
    Q_OBJECT
public:
    explicit ColorSample(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override { return QSize(41, 21); }

signals:
    void released();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor color_{Qt::white};
};

} // namespace selva
