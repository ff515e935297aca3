#pragma once

// The drawing calls a Windows metafile can hold, in the terms of the Windows graphics device interface:
// pens, brushes and fonts created into numbered object slots and selected, polylines, polygons,
// rectangles, text at a baseline point, and bitmaps. MetafileEngine turns what a QPainter draws into
// these calls; one recorder writes them as a placeable WMF (16-bit records, text in code page 1251) and
// one as an EMF (32-bit records, text in UTF-16).
//
// Coordinates are device pixels of the picture, already transformed and clipped, within the 16-bit
// range both formats take for points.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPolygon>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>

namespace selva {

// Values of the Windows structures the records carry.
namespace gdi {
inline constexpr int PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5;
inline constexpr int BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2;
inline constexpr int HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4,
                     HS_DIAGCROSS = 5;
inline constexpr int TRANSPARENT = 1;
inline constexpr int TA_BASELINE = 24;
inline constexpr int ALTERNATE = 1, WINDING = 2;
inline constexpr int RUSSIAN_CHARSET = 204;
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;

// A colour as the records hold it: 0x00BBGGRR.
inline std::uint32_t colorRef(QRgb c)
{
    return static_cast<std::uint32_t>(qRed(c)) | (static_cast<std::uint32_t>(qGreen(c)) << 8) |
           (static_cast<std::uint32_t>(qBlue(c)) << 16);
}
} // namespace gdi

struct GdiPen {
    int style = gdi::PS_SOLID;
    int width = 1; // pixels
    QRgb color = 0;
    bool operator==(const GdiPen&) const = default;
};

struct GdiBrush {
    int style = gdi::BS_SOLID;
    QRgb color = 0;
    int hatch = 0;
    bool operator==(const GdiBrush&) const = default;
};

struct GdiFont {
    int height = -11;   // negative: character height in pixels
    int escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 400;   // 400 normal, 700 bold
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QString face;
    bool operator==(const GdiFont&) const = default;
};

class MetafileRecorder {
public:
    virtual ~MetafileRecorder() = default;

    virtual void createPen(int slot, const GdiPen& pen) = 0;
    virtual void createBrush(int slot, const GdiBrush& brush) = 0;
    virtual void createFont(int slot, const GdiFont& font) = 0;
    virtual void selectObject(int slot) = 0;
    virtual void deleteObject(int slot) = 0;
    virtual void setTextColor(QRgb color) = 0;
    virtual void setPolyFillMode(int mode) = 0;

    virtual void polyline(const QPolygon& points) = 0;
    virtual void polygon(const QPolygon& points) = 0;
    // Drawn with the selected pen and brush; right and bottom are the rectangle's far edges.
    virtual void rectangle(const QRect& r) = 0;
    // `dx` holds the advance of every character in pixels (one a character).
    virtual void text(const QPoint& baseline, const QString& text, const QList<int>& dx) = 0;
    // An opaque picture stretched over `target`.
    virtual void bitmap(const QRect& target, const QImage& image) = 0;

    // The whole file: header, the records so far and the end record. `objectSlots` is the number of object
    // slots the drawing used at most.
    virtual QByteArray finish(int objectSlots) = 0;
};

// Little-endian record bytes.
class LeBytes {
public:
    void u8(std::uint8_t v) { bytes_.append(static_cast<char>(v)); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void i16(int v) { u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
    void i32(int v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v);
    void raw(const QByteArray& b) { bytes_.append(b); }
    void zeros(qsizetype n) { bytes_.append(n, '\0'); }
    qsizetype size() const { return bytes_.size(); }
    QByteArray& bytes() { return bytes_; }

private:
    QByteArray bytes_;
};

// A bitmap as a device-independent bitmap: the 40-byte BITMAPINFOHEADER and 24-bit rows, bottom row
// first, each padded to four bytes. Transparent pixels are laid over white.
QByteArray dibHeader(const QImage& image);
QByteArray dibBits(const QImage& image);

// Both set up the picture: `size` in pixels at `dpi` pixels an inch, transparent text background, text
// drawn from its baseline.
std::unique_ptr<MetafileRecorder> makeWmfRecorder(QSize size, int dpi);
std::unique_ptr<MetafileRecorder> makeEmfRecorder(QSize size, int dpi);

} // namespace selva
