#include "analysis/ui/ChartPicture.h"

#include "analysis/ui/JpegWriter.h"
#include "analysis/ui/MetafileDevice.h"
#include "common/AtomicFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSvgGenerator>

#include <cmath>

namespace selva {

namespace {

// Pixels an inch of the picture formats that carry a physical size (metafiles, SVG, PDF): the screen's
// usual 96, so a picture prints at the size it had on the screen.
constexpr int PictureDpi = 96;

QImage chartImage(const ChartPainter& draw, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

bool imageBytes(const QImage& image, const char* format, QByteArray& out, QString* error)
{
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (image.save(&buffer, format))
        return true;
    if (error)
        *error = QStringLiteral("Unable to encode the picture as %1").arg(QString::fromLatin1(format));
    return false;
}

} // namespace

PictureFormat pictureFormatFor(const QString& fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return PictureFormat::Jpeg;
    if (ext == QLatin1String("wmf"))
        return PictureFormat::Wmf;
    if (ext == QLatin1String("emf"))
        return PictureFormat::Emf;
    if (ext == QLatin1String("png"))
        return PictureFormat::Png;
    if (ext == QLatin1String("svg"))
        return PictureFormat::Svg;
    if (ext == QLatin1String("pdf"))
        return PictureFormat::Pdf;
    return PictureFormat::Bmp;
}

bool renderPicture(PictureFormat format, const ChartPainter& draw, QSize size, QByteArray& out,
                   QString* error)
{
    out.clear();
    size = size.expandedTo(QSize(1, 1));
    const QRectF whole(QPointF(0, 0), QSizeF(size));
    switch (format) {
    case PictureFormat::Jpeg:
        return encodeJpeg(chartImage(draw, size), PictureJpegQuality, out, error);
    case PictureFormat::Png:
        return imageBytes(chartImage(draw, size), "PNG", out, error);
    case PictureFormat::Bmp:
        // 24 bits a pixel.
        return imageBytes(chartImage(draw, size).convertToFormat(QImage::Format_RGB888), "BMP", out, error);
    case PictureFormat::Wmf:
    case PictureFormat::Emf: {
        MetafileDevice device(format == PictureFormat::Wmf ? MetafileFormat::Wmf : MetafileFormat::Emf, size,
                              PictureDpi);
        QPainter p;
        if (!p.begin(&device)) {
            if (error)
                *error = QStringLiteral("Unable to start the metafile");
            return false;
        }
        draw(p, whole);
        p.end();
        out = device.data();
        return !out.isEmpty();
    }
    case PictureFormat::Svg: {
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(whole);
        svg.setResolution(PictureDpi);
        svg.setTitle(QStringLiteral("Selvarondine"));
        QPainter p;
        if (!p.begin(&svg)) {
            if (error)
                *error = QStringLiteral("Unable to start the SVG drawing");
            return false;
        }
        draw(p, whole);
        p.end();
        return true;
    }
    case PictureFormat::Pdf: {
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Selvarondine"));
        pdf.setResolution(PictureDpi);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / PictureDpi, size.height() * 72.0 / PictureDpi),
                                  QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p;
        if (!p.begin(&pdf)) {
            if (error)
                *error = QStringLiteral("Unable to start the PDF page");
            return false;
        }
        draw(p, QRectF(0, 0, pdf.width(), pdf.height()));
        p.end();
        return true;
    }
    }
    return false;
}

bool saveChartPicture(const QString& fileName, const ChartPainter& draw, QSize size, QString* error,
                      const SaveOptions& save)
{
    QByteArray bytes;
    if (!renderPicture(pictureFormatFor(fileName), draw, size, bytes, error))
        return false;
    std::string message;
    if (writeFileAtomically(QFile::encodeName(fileName).toStdString(), bytes.toStdString(), &message, save))
        return true;
    if (error)
        *error = QString::fromStdString(message);
    return false;
}

QRectF printedChartRect(QSize page)
{
    const int H = page.height(), W = page.width();
    const int a = static_cast<int>(std::lround(H / 20.0)), b = static_cast<int>(std::lround(W / 20.0));
    return QRectF(QPointF(a, b), QPointF(W - a, H - 2 * b));
}

void composePrintedPage(QPainter& painter, QSize page, const ChartPainter& draw, const QString& footer)
{
    const int H = page.height(), W = page.width();
    const int a = static_cast<int>(std::lround(H / 20.0)), b = static_cast<int>(std::lround(W / 20.0));
    painter.save();
    draw(painter, printedChartRect(page));
    painter.restore();

    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(Qt::black);
    // The line box of the text (its descent included) ends at H - b.
    const double lineHeight = painter.fontMetrics().height();
    painter.drawText(QRectF(a, H - b - lineHeight, W - a, lineHeight), Qt::AlignLeft | Qt::AlignBottom,
                     footer);
    painter.restore();
}

QString printFooter(const QString& sourceLabel, const QDateTime& when, const QLocale& locale)
{
    // The long time format without the time zone some locales add to it.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return QStringLiteral("Файл: ") + sourceLabel + QStringLiteral("    Дата печати:") +
           locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat.trimmed());
}

} // namespace selva
