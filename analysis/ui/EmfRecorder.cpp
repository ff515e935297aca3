// An enhanced metafile: the header record (bounds in pixels, frame in hundredths of a millimetre, the
// reference device, a description), the records (type, size in bytes, parameters, each a multiple of
// four bytes long) and the end record. Object handles are the slot numbers plus one (handle 0 stands for
// the metafile itself). Text is UTF-16, so any letter survives.

#include "analysis/ui/MetafileRecorder.h"

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

enum : std::uint32_t {
    EMR_HEADER = 1,
    EMR_EOF = 14,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_RECTANGLE = 43,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
};

constexpr int MM_TEXT = 1;
constexpr int GM_COMPATIBLE = 1;
constexpr std::uint32_t EmfSignature = 0x464D4520; // " EMF"
constexpr int MaxTextChars = 4096;

class EmfRecorder final : public MetafileRecorder {
public:
    EmfRecorder(QSize size, int dpi) : size_(size), dpi_(dpi)
    {
        simple(EMR_SETMAPMODE, MM_TEXT);
        simple(EMR_SETBKMODE, gdi::TRANSPARENT);
        simple(EMR_SETTEXTALIGN, gdi::TA_BASELINE);
    }

    void createPen(int slot, const GdiPen& pen) override
    {
        LeBytes p;
        p.u32(handle(slot));
        p.u32(static_cast<std::uint32_t>(pen.style));
        p.i32(pen.width);
        p.i32(0);
        p.u32(gdi::colorRef(pen.color));
        record(EMR_CREATEPEN, p);
    }

    void createBrush(int slot, const GdiBrush& brush) override
    {
        LeBytes p;
        p.u32(handle(slot));
        p.u32(static_cast<std::uint32_t>(brush.style));
        p.u32(gdi::colorRef(brush.color));
        p.u32(static_cast<std::uint32_t>(brush.hatch));
        record(EMR_CREATEBRUSHINDIRECT, p);
    }

    void createFont(int slot, const GdiFont& font) override
    {
        // The font as a LogFontPanose (320 bytes), the form every reader takes.
        LeBytes p;
        p.u32(handle(slot));
        p.i32(font.height);
        p.i32(0);
        p.i32(font.escapement);
        p.i32(font.escapement);
        p.i32(font.weight);
        p.u8(font.italic);
        p.u8(font.underline);
        p.u8(font.strikeOut);
        p.u8(gdi::RUSSIAN_CHARSET);
        p.u8(0);
        p.u8(0);
        p.u8(0);
        p.u8(0);
        utf16Field(p, font.face, 32);
        utf16Field(p, font.face, 64); // full name
        utf16Field(p, QString(), 32); // style
        p.zeros(6 * 4 + 10 + 2);      // version, style size, match, reserved, vendor, culture, panose
        record(EMR_EXTCREATEFONTINDIRECTW, p);
    }

    void selectObject(int slot) override { simple(EMR_SELECTOBJECT, static_cast<int>(handle(slot))); }
    void deleteObject(int slot) override { simple(EMR_DELETEOBJECT, static_cast<int>(handle(slot))); }
    void setTextColor(QRgb color) override
    {
        simple(EMR_SETTEXTCOLOR, static_cast<int>(gdi::colorRef(color)));
    }
    void setPolyFillMode(int mode) override { simple(EMR_SETPOLYFILLMODE, mode); }

    void polyline(const QPolygon& points) override { poly(EMR_POLYLINE16, points); }
    void polygon(const QPolygon& points) override { poly(EMR_POLYGON16, points); }

    void rectangle(const QRect& r) override
    {
        LeBytes p;
        p.i32(r.x());
        p.i32(r.y());
        p.i32(r.x() + r.width());
        p.i32(r.y() + r.height());
        record(EMR_RECTANGLE, p);
    }

    void text(const QPoint& baseline, const QString& text, const QList<int>& dx) override
    {
        const QString s = text.left(MaxTextChars);
        if (s.isEmpty())
            return;
        const auto n = static_cast<std::uint32_t>(s.size());
        const std::uint32_t stringOffset = 76;
        const std::uint32_t stringBytes = (n * 2 + 3) / 4 * 4;
        LeBytes p;
        bounds(p, QRect()); // not computed
        p.u32(GM_COMPATIBLE);
        p.f32(0);
        p.f32(0);
        p.i32(baseline.x());
        p.i32(baseline.y());
        p.u32(n);
        p.u32(stringOffset);
        p.u32(0); // options
        p.zeros(16);
        p.u32(stringOffset + stringBytes);
        for (QChar c : s)
            p.u16(c.unicode());
        p.zeros(stringBytes - n * 2);
        for (std::uint32_t i = 0; i < n; ++i)
            p.i32(i < static_cast<std::uint32_t>(dx.size()) ? dx[i] : 0);
        record(EMR_EXTTEXTOUTW, p);
    }

    void bitmap(const QRect& target, const QImage& image) override
    {
        const QByteArray header = dibHeader(image);
        const QByteArray bits = dibBits(image);
        constexpr std::uint32_t fixed = 80;
        LeBytes p;
        bounds(p, target);
        p.i32(target.x());
        p.i32(target.y());
        p.i32(0);
        p.i32(0);
        p.i32(image.width());
        p.i32(image.height());
        p.u32(fixed);
        p.u32(static_cast<std::uint32_t>(header.size()));
        p.u32(fixed + static_cast<std::uint32_t>(header.size()));
        p.u32(static_cast<std::uint32_t>(bits.size()));
        p.u32(0); // colours given as RGB
        p.u32(gdi::SRCCOPY);
        p.i32(target.width());
        p.i32(target.height());
        p.raw(header);
        p.raw(bits);
        record(EMR_STRETCHDIBITS, p);
    }

    QByteArray finish(int objectSlots) override
    {
        LeBytes eof;
        eof.u32(0);  // no palette
        eof.u32(16); // offset of the (absent) palette
        eof.u32(20); // size of this record
        record(EMR_EOF, eof);

        // The reference device: 1024 x 768 pixels at the picture's resolution.
        const int refW = 1024, refH = 768;
        const auto mm = [this](int px) { return static_cast<int>(std::lround(px * 25.4 / dpi_)); };
        const auto um = [this](int px) { return static_cast<int>(std::lround(px * 25400.0 / dpi_)); };
        LeBytes description;
        utf16Field(description, QStringLiteral("Selvarondine"), 13);
        utf16Field(description, QStringLiteral("chart"), 7);
        const std::uint32_t headerSize = 108 + static_cast<std::uint32_t>(description.size());

        LeBytes h;
        h.u32(EMR_HEADER);
        h.u32(headerSize);
        bounds(h, QRect(QPoint(0, 0), size_));
        h.i32(0);
        h.i32(0);
        h.i32(static_cast<int>(std::lround(size_.width() * 2540.0 / dpi_)));
        h.i32(static_cast<int>(std::lround(size_.height() * 2540.0 / dpi_)));
        h.u32(EmfSignature);
        h.u32(0x00010000);
        h.u32(headerSize + static_cast<std::uint32_t>(records_.size()));
        h.u32(recordCount_ + 1);
        h.u16(static_cast<std::uint16_t>(objectSlots + 1));
        h.u16(0);
        h.u32(20); // description characters
        h.u32(108);
        h.u32(0); // palette entries
        h.i32(refW);
        h.i32(refH);
        h.i32(mm(refW));
        h.i32(mm(refH));
        h.u32(0); // no pixel format
        h.u32(0);
        h.u32(0); // no OpenGL
        h.i32(um(refW));
        h.i32(um(refH));
        h.raw(description.bytes());
        h.raw(records_.bytes());
        return h.bytes();
    }

private:
    static std::uint32_t handle(int slot) { return static_cast<std::uint32_t>(slot + 1); }

    // A rectangle with inclusive right and bottom edges; an empty one as (0, 0, -1, -1).
    static void bounds(LeBytes& p, const QRect& r)
    {
        if (r.isEmpty()) {
            p.i32(0);
            p.i32(0);
            p.i32(-1);
            p.i32(-1);
            return;
        }
        p.i32(r.left());
        p.i32(r.top());
        p.i32(r.right());
        p.i32(r.bottom());
    }

    static void utf16Field(LeBytes& p, const QString& s, int chars)
    {
        const QString t = s.left(chars - 1);
        for (QChar c : t)
            p.u16(c.unicode());
        p.zeros((chars - t.size()) * 2);
    }

    void record(std::uint32_t type, LeBytes params)
    {
        records_.u32(type);
        records_.u32(static_cast<std::uint32_t>(8 + params.size()));
        records_.raw(params.bytes());
        ++recordCount_;
    }

    void simple(std::uint32_t type, int value)
    {
        LeBytes p;
        p.i32(value);
        record(type, p);
    }

    void poly(std::uint32_t type, const QPolygon& points)
    {
        LeBytes p;
        bounds(p, points.boundingRect());
        p.u32(static_cast<std::uint32_t>(points.size()));
        for (const QPoint& pt : points) {
            p.i16(pt.x());
            p.i16(pt.y());
        }
        record(type, p);
    }

    QSize size_;
    int dpi_;
    LeBytes records_;
    std::uint32_t recordCount_ = 0;
};

} // namespace

std::unique_ptr<MetafileRecorder> makeEmfRecorder(QSize size, int dpi)
{
    return std::make_unique<EmfRecorder>(size, dpi);
}

} // namespace selva
