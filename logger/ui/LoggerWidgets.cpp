#include "logger/ui/LoggerWidgets.h"

#include "logger/LoggerLink.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

constexpr int kSymbolWidth = 22;

QColor fromBgr(std::uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

} // namespace

TLoggerPlot::TLoggerPlot(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TLoggerPlot::setReadings(std::vector<float> readings, int length)
{
    readings_ = std::move(readings);
    length_ = std::max(length, 2);
    update();
}

void TLoggerPlot::setRange(double low, double high)
{
    low_ = low;
    high_ = high;
    update();
}

void TLoggerPlot::setGrid(int horizontal, int vertical)
{
    hDivisions_ = std::max(horizontal, 1);
    vDivisions_ = std::max(vertical, 1);
    update();
}

void TLoggerPlot::setColours(const QColor& background, const QColor& axis, const QColor& text,
                             const QColor& line)
{
    background_ = background.isValid() ? background : QColor(Qt::black);
    axis_ = axis.isValid() ? axis : QColor(Qt::white);
    text_ = text.isValid() ? text : QColor(Qt::white);
    line_ = line.isValid() ? line : QColor(Qt::yellow);
    update();
}

void TLoggerPlot::clear()
{
    readings_.clear();
    update();
}

void TLoggerPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), background_);
    const QFontMetrics fm(font());
    const QLocale locale;
    const QString widest = locale.toString(std::max(std::fabs(low_), std::fabs(high_)), 'g', 6);
    const QRect area =
        rect().adjusted(fm.horizontalAdvance(widest) + 10, fm.height() / 2 + 2, -6, -fm.height() / 2 - 2);
    if (area.width() < 4 || area.height() < 4)
        return;

    // Grid and the value of each horizontal grid line.
    p.setPen(QPen(axis_, 0, Qt::DotLine));
    for (int i = 1; i < hDivisions_; ++i) {
        const int x = area.left() + area.width() * i / hDivisions_;
        p.drawLine(x, area.top(), x, area.bottom());
    }
    for (int i = 0; i <= vDivisions_; ++i) {
        const int y = area.bottom() - area.height() * i / vDivisions_;
        if (i > 0 && i < vDivisions_)
            p.drawLine(area.left(), y, area.right(), y);
        p.setPen(text_);
        const QString label = locale.toString(low_ + (high_ - low_) * i / vDivisions_, 'g', 6);
        p.drawText(QRect(0, y - fm.height() / 2, area.left() - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
        p.setPen(QPen(axis_, 0, Qt::DotLine));
    }
    p.setPen(axis_);
    p.drawRect(area);

    if (readings_.empty() || high_ == low_)
        return;
    // Newest at the right edge; with more readings than pixel columns each column shows its lowest and
    // highest reading.
    const double span = high_ - low_;
    const auto yOf = [&](double v) {
        const double y = area.bottom() - (v - low_) / span * area.height();
        return std::clamp(y, static_cast<double>(area.top()) - 1, static_cast<double>(area.bottom()) + 1);
    };
    const double dx = static_cast<double>(area.width()) / (length_ - 1);
    const auto first = static_cast<int>(length_ - static_cast<int>(readings_.size()));
    QPainterPath path;
    p.save();
    p.setClipRect(area.adjusted(0, -1, 1, 1));
    p.setPen(QPen(line_, 1));
    if (readings_.size() <= static_cast<std::size_t>(2 * area.width())) {
        for (std::size_t i = 0; i < readings_.size(); ++i) {
            const QPointF pt(area.left() + (first + static_cast<double>(i)) * dx, yOf(readings_[i]));
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
    } else {
        bool started = false;
        for (int c = 0; c < area.width(); ++c) {
            const double i0 = std::ceil(c / dx - first), i1 = std::ceil((c + 1) / dx - first);
            const auto from = static_cast<std::size_t>(std::max(0.0, i0));
            const auto to =
                static_cast<std::size_t>(std::clamp(i1, 0.0, static_cast<double>(readings_.size())));
            if (from >= to)
                continue;
            const auto [lo, hi] = std::minmax_element(readings_.begin() + static_cast<std::ptrdiff_t>(from),
                                                      readings_.begin() + static_cast<std::ptrdiff_t>(to));
            const double x = area.left() + c;
            if (!started)
                path.moveTo(x, yOf(*lo));
            else
                path.lineTo(x, yOf(*lo));
            path.lineTo(x, yOf(*hi));
            started = true;
        }
    }
    p.drawPath(path);
    p.restore();
}

TStatusPanel::TStatusPanel(Symbol symbol, int width, const QString& widest, QWidget* parent)
    : QLabel(parent), symbol_(symbol)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    if (symbol_ != Symbol::None)
        setIndent(kSymbolWidth + 2);
    const int needed = fontMetrics().horizontalAdvance(widest) +
                       (symbol_ != Symbol::None ? kSymbolWidth + 2 : 0) + 2 * frameWidth() + 4;
    setMinimumWidth(std::max(width, needed));
}

void TStatusPanel::setConnected(bool connected)
{
    connected_ = connected;
    setText(connected ? QStringLiteral("connected") : QStringLiteral("diconnected"));
}

void TStatusPanel::setBattery(bool shown, double volts)
{
    batteryShown_ = shown;
    volts_ = volts;
    batteryColour_ = shown ? fromBgr(batteryFillColour(volts)) : QColor();
    setText(shown ? QLocale().toString(volts, 'f', 2) + QStringLiteral(" V") : QString());
    update();
}

void TStatusPanel::setSunken(bool sunken)
{
    setFrameShadow(sunken ? QFrame::Sunken : QFrame::Raised);
}

void TStatusPanel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (symbol_ == Symbol::None)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect box = contentsRect();
    const int cy = box.center().y();
    if (symbol_ == Symbol::Connection) {
        p.setPen(Qt::NoPen);
        p.setBrush(connected_ ? QColor(0, 160, 0) : QColor(220, 0, 0));
        p.drawEllipse(QPoint(box.left() + kSymbolWidth / 2 + 1, cy), 5, 5);
        return;
    }
    if (!batteryShown_)
        return;
    // The battery lying on its side, its terminal to the right, filled from the left.
    const QRect body(box.left() + 2, cy - 5, kSymbolWidth - 6, 10);
    p.setPen(palette().color(QPalette::WindowText));
    p.setBrush(Qt::NoBrush);
    p.drawRect(body);
    p.fillRect(QRect(body.right() + 1, cy - 2, 2, 5), palette().color(QPalette::WindowText));
    const int fill = static_cast<int>(std::lround(batteryFillLevel(volts_) * (body.width() - 2)));
    p.fillRect(QRect(body.left() + 1, body.top() + 1, std::max(fill, 1), body.height() - 1), batteryColour_);
}

} // namespace selva
