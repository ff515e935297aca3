#pragma once

// A paint device that records what a QPainter draws as a Windows metafile, a vector drawing: lines,
// polylines and paths become polyline records, filled shapes polygon and rectangle records, text becomes
// text records with its font (Cyrillic included), pictures become bitmap records. Rendering a chart into
// it gives a picture whose lines and captions stay sharp at any size.
//
// What a metafile cannot carry is simplified: gradients are filled with their first colour, colours lose
// their transparency (fully transparent pens and brushes draw nothing), and clipping is done here, to
// the bounding rectangle of the clip.
//
// Usage: construct, paint with one QPainter from begin to end, then take data(). UI thread (fonts).

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>

#include <memory>

namespace selva {

class MetafileEngine;

enum class MetafileFormat {
    Wmf, // placeable Windows metafile (16-bit), text in code page 1251
    Emf, // enhanced metafile, text in UTF-16
};

class MetafileDevice : public QPaintDevice {
public:
    // A picture of `size` pixels at `dpi` pixels an inch (the size it prints at).
    MetafileDevice(MetafileFormat format, QSize size, int dpi = 96);
    ~MetafileDevice() override;

    QPaintEngine* paintEngine() const override;
    // The file's bytes; empty until a painter has ended its work on the device.
    QByteArray data() const;
    QSize size() const { return size_; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    MetafileFormat format_;
    QSize size_;
    int dpi_;
    std::unique_ptr<MetafileEngine> engine_;
};

} // namespace selva
