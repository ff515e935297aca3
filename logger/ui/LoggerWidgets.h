#pragma once

#include <QColor>
#include <QLabel>
#include <QWidget>

#include <vector>

namespace selva {

// The acquisition window's live plot: the readings of the display window across the width (newest at the
// right), the vertical axis from the lower to the upper value, a grid of h by v divisions.
class TLoggerPlot : public QWidget {
    Q_OBJECT
public:
    explicit TLoggerPlot(QWidget* parent = nullptr);

    // Readings oldest first; `length` is how many the full width holds.
    void setReadings(std::vector<float> readings, int length);
    void setRange(double low, double high);
    void setGrid(int horizontal, int vertical);
    void setColours(const QColor& background, const QColor& axis, const QColor& text, const QColor& line);
    // No readings: the empty grid.
    void clear();

    const std::vector<float>& readings() const { return readings_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<float> readings_;
    int length_ = 500;
    double low_ = 0, high_ = 300;
    int hDivisions_ = 5, vDivisions_ = 5;
    QColor background_ = Qt::black, axis_ = Qt::white, text_ = Qt::white, line_ = Qt::yellow;
};

// A panel of the acquisition window's status bar. The connection panel draws a red or green mark before
// its text, the battery panel a battery symbol filled to the voltage in the colour of its charge.
class TStatusPanel : public QLabel {
    Q_OBJECT
public:
    enum class Symbol { None, Connection, Battery };
    // At least `width` pixels wide, and wide enough for `widest`, the longest text the panel shows.
    TStatusPanel(Symbol symbol, int width, const QString& widest, QWidget* parent = nullptr);

    void setConnected(bool connected);
    // Hidden (empty) until `shown`.
    void setBattery(bool shown, double volts);
    void setSunken(bool sunken);
    // The fill colour the battery symbol is drawn with now.
    QColor batteryColour() const { return batteryColour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    bool connected_ = false;
    bool batteryShown_ = false;
    double volts_ = 0;
    QColor batteryColour_;
};

} // namespace selva
