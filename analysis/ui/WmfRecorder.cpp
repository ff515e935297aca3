// A placeable Windows metafile: the 22-byte placeable header (key, bounding box, units an inch, XOR
// checksum of its first ten words), the 18-byte metafile header, the records (size in 16-bit words,
// function number, parameters) and the end record. Text is written in code page 1251 with fonts of the
// Cyrillic character set, so that Russian captions keep their letters.

#include "analysis/ui/MetafileRecorder.h"

#include "common/Cp1251.h"

#include <algorithm>

namespace selva {

namespace {

// Record functions.
enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETTEXTCOLOR = 0x0209,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_RECTANGLE = 0x041B,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHDIB = 0x0F43,
};

constexpr int MM_ANISOTROPIC = 8;
// Longest text of one record; a caption of a chart is far shorter.
constexpr int MaxTextBytes = 4096;

class WmfRecorder final : public MetafileRecorder {
public:
    WmfRecorder(QSize size, int dpi) : size_(size), dpi_(dpi)
    {
        record(META_SETMAPMODE, {MM_ANISOTROPIC});
        record(META_SETWINDOWORG, {0, 0});
        record(META_SETWINDOWEXT, {size.height(), size.width()});
        record(META_SETBKMODE, {gdi::TRANSPARENT});
        record(META_SETTEXTALIGN, {gdi::TA_BASELINE});
    }

    void createPen(int, const GdiPen& pen) override
    {
        LeBytes p;
        p.u16(static_cast<std::uint16_t>(pen.style));
        p.i16(pen.width);
        p.i16(0);
        p.u32(gdi::colorRef(pen.color));
        record(META_CREATEPENINDIRECT, p);
    }

    void createBrush(int, const GdiBrush& brush) override
    {
        LeBytes p;
        p.u16(static_cast<std::uint16_t>(brush.style));
        p.u32(gdi::colorRef(brush.color));
        p.u16(static_cast<std::uint16_t>(brush.hatch));
        record(META_CREATEBRUSHINDIRECT, p);
    }

    void createFont(int, const GdiFont& font) override
    {
        LeBytes p;
        p.i16(font.height);
        p.i16(0);
        p.i16(font.escapement);
        p.i16(font.escapement);
        p.i16(font.weight);
        p.u8(font.italic);
        p.u8(font.underline);
        p.u8(font.strikeOut);
        p.u8(gdi::RUSSIAN_CHARSET);
        p.u8(0); // default output precision
        p.u8(0); // default clipping precision
        p.u8(0); // default quality
        p.u8(0); // default pitch and family
        QByteArray face = QByteArray::fromStdString(utf8ToCp1251(font.face.toStdString())).left(31);
        face.resize(32, '\0');
        p.raw(face);
        record(META_CREATEFONTINDIRECT, p);
    }

    void selectObject(int slot) override { record(META_SELECTOBJECT, {slot}); }
    void deleteObject(int slot) override { record(META_DELETEOBJECT, {slot}); }

    void setTextColor(QRgb color) override
    {
        LeBytes p;
        p.u32(gdi::colorRef(color));
        record(META_SETTEXTCOLOR, p);
    }

    void setPolyFillMode(int mode) override { record(META_SETPOLYFILLMODE, {mode}); }

    void polyline(const QPolygon& points) override { poly(META_POLYLINE, points); }
    void polygon(const QPolygon& points) override { poly(META_POLYGON, points); }

    void rectangle(const QRect& r) override
    {
        record(META_RECTANGLE, {r.y() + r.height(), r.x() + r.width(), r.y(), r.x()});
    }

    void text(const QPoint& baseline, const QString& text, const QList<int>& dx) override
    {
        // One byte a character in code page 1251, so the advances stay one a byte.
        QByteArray bytes = QByteArray::fromStdString(utf8ToCp1251(text.toStdString())).left(MaxTextBytes);
        if (bytes.isEmpty())
            return;
        LeBytes p;
        p.i16(baseline.y());
        p.i16(baseline.x());
        p.i16(static_cast<int>(bytes.size()));
        p.u16(0); // no clipping or opaque rectangle
        const qsizetype n = bytes.size();
        if (bytes.size() % 2)
            bytes.append('\0');
        p.raw(bytes);
        for (qsizetype i = 0; i < n; ++i)
            p.i16(i < dx.size() ? dx[i] : 0);
        record(META_EXTTEXTOUT, p);
    }

    void bitmap(const QRect& target, const QImage& image) override
    {
        LeBytes p;
        p.u32(gdi::SRCCOPY);
        p.u16(0); // colours given as RGB
        p.i16(image.height());
        p.i16(image.width());
        p.i16(0);
        p.i16(0);
        p.i16(target.height());
        p.i16(target.width());
        p.i16(target.y());
        p.i16(target.x());
        p.raw(dibHeader(image));
        p.raw(dibBits(image));
        record(META_STRETCHDIB, p);
    }

    QByteArray finish(int objectSlots) override
    {
        record(META_EOF, LeBytes());
        LeBytes out;
        // Placeable header.
        out.u32(0x9AC6CDD7);
        out.u16(0);
        out.i16(0);
        out.i16(0);
        out.i16(size_.width());
        out.i16(size_.height());
        out.u16(static_cast<std::uint16_t>(dpi_));
        out.u32(0);
        std::uint16_t sum = 0;
        const QByteArray& h = out.bytes();
        for (int i = 0; i < 20; i += 2)
            sum ^= static_cast<std::uint16_t>(static_cast<unsigned char>(h[i]) |
                                              (static_cast<unsigned char>(h[i + 1]) << 8));
        out.u16(sum);
        // Metafile header.
        out.u16(1); // in memory
        out.u16(9); // header words
        out.u16(0x0300);
        out.u32(static_cast<std::uint32_t>(9 + records_.size() / 2));
        out.u16(static_cast<std::uint16_t>(std::max(objectSlots, 1)));
        out.u32(maxRecordWords_);
        out.u16(0);
        out.raw(records_.bytes());
        return out.bytes();
    }

private:
    void record(std::uint16_t function, LeBytes params)
    {
        const auto words = static_cast<std::uint32_t>(3 + params.size() / 2);
        maxRecordWords_ = std::max(maxRecordWords_, words);
        records_.u32(words);
        records_.u16(function);
        records_.raw(params.bytes());
    }
    void record(std::uint16_t function, std::initializer_list<int> words)
    {
        LeBytes p;
        for (int w : words)
            p.i16(w);
        record(function, p);
    }
    void poly(std::uint16_t function, const QPolygon& points)
    {
        LeBytes p;
        p.i16(static_cast<int>(points.size()));
        for (const QPoint& pt : points) {
            p.i16(pt.x());
            p.i16(pt.y());
        }
        record(function, p);
    }

    QSize size_;
    int dpi_;
    LeBytes records_;
    std::uint32_t maxRecordWords_ = 3;
};

} // namespace

std::unique_ptr<MetafileRecorder> makeWmfRecorder(QSize size, int dpi)
{
    return std::make_unique<WmfRecorder>(size, dpi);
}

} // namespace selva
