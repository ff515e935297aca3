#pragma once

#include "common/AtomicFile.h"

// The chart taken out of the program as a picture file or a printed page. Everything here draws through
// a ChartPainter, the function that paints the whole chart (plot and annotations) into a rectangle of
// any QPainter: the window hands in the very painter it shows the chart with, so what is saved and
// printed is what is seen.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

namespace selva {

using ChartPainter = std::function<void(QPainter& painter, const QRectF& target)>;

// Picture formats, chosen by the extension of the file name, compared without regard to case.
enum class PictureFormat {
    Jpeg, // ".jpg", ".jpeg": quality 90, 24-bit colour, baseline, through libjpeg
    Wmf,  // ".wmf": placeable Windows metafile, a vector drawing
    Emf,  // ".emf": enhanced metafile, a vector drawing
    Png,  // ".png"
    Svg,  // ".svg"
    Pdf,  // ".pdf": one page of the picture's size
    Bmp,  // any other extension: a 24-bit BMP, the chart on a white background
};

PictureFormat pictureFormatFor(const QString& fileName);

// JPEG quality of saved pictures.
inline constexpr int PictureJpegQuality = 90;

// The picture file's bytes of a chart of `size` pixels. False with the failing component's message in
// `error`.
bool renderPicture(PictureFormat format, const ChartPainter& draw, QSize size, QByteArray& out,
                   QString* error = nullptr);

// Renders and writes the picture in the format its name asks for, through a temporary file renamed
// into place (a failed save leaves an existing file as it was). False with the message in `error`.
bool saveChartPicture(const QString& fileName, const ChartPainter& draw, QSize size,
                      QString* error = nullptr, const SaveOptions& save = {});

// The printed page:
//   H, W: printable height and width in device pixels; a = round(H / 20), b = round(W / 20);
//   the chart in the rectangle from (a, b) to (W - a, H - 2b);
//   the footer line at x = a with the bottom of its text at H - b, on a transparent background, in the
//   painter's current font.
QRectF printedChartRect(QSize page);
void composePrintedPage(QPainter& painter, QSize page, const ChartPainter& draw, const QString& footer);

// "Файл: " + the source label + "    Дата печати:" + the date (short format) and time (long format,
// hours, minutes and seconds) of `when` in `locale`.
QString printFooter(const QString& sourceLabel, const QDateTime& when, const QLocale& locale = QLocale());

} // namespace selva
