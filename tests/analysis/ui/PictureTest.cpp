// Chart pictures: the format each extension gives, the metafiles read back record by record, the JPEG's
// markers, the printed page and its footer.

#include "analysis/ui/AuthorMark.h"
#include "analysis/ui/ChartPicture.h"
#include "support/QtFiles.h"

#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include <map>

using namespace selva;

namespace {

const QSize PictureSize(640, 400);
const QColor SeriesColor(0, 160, 255);
const QString Caption = QString::fromUtf8("Тяга двигателя, Н");
const QString Author = QString::fromUtf8("Иванов И.И.");

// ---- reading metafiles back

struct Shape {
    QPolygon points;
    QRgb color = 0; // of the pen
};
struct Text {
    QPoint at;
    QString text;
    QRgb color = 0;
    int height = 0;
};
struct Drawing {
    QString error; // empty when the file is well formed
    QSize size;
    int unitsPerInch = 0;
    QList<Shape> lines;
    QList<Text> texts;

    bool hasLine(const QPolygon& p, QRgb c) const
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const Shape& s) { return s.points == p && s.color == c; });
    }
    const Text* text(const QString& t) const
    {
        for (const Text& x : texts)
            if (x.text == t)
                return &x;
        return nullptr;
    }
};

// GDI objects as the records create and select them.
struct Objects {
    struct Obj {
        char kind;
        QRgb color;
        int height;
    };
    std::map<int, Obj> table;
    Obj pen{'p', 0, 0}, brush{'b', 0, 0}, font{'f', 0, 0};
    QRgb textColor = 0;
    void select(int slot)
    {
        const Obj o = table.at(slot);
        (o.kind == 'p' ? pen : o.kind == 'b' ? brush : font) = o;
    }
};

QRgb fromColorRef(quint32 c)
{
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

struct Reader {
    const QByteArray& b;
    quint32 u32(qsizetype at) const { return quint16(u16(at)) | (quint32(u16(at + 2)) << 16); }
    quint16 u16(qsizetype at) const { return quint8(b[at]) | (quint8(b[at + 1]) << 8); }
    qint16 i16(qsizetype at) const { return qint16(u16(at)); }
    qint32 i32(qsizetype at) const { return qint32(u32(at)); }
};

Drawing parseWmf(const QByteArray& b)
{
    Drawing d;
    Reader r{b};
    if (b.size() < 40 || r.u32(0) != 0x9AC6CDD7)
        return d.error = "no placeable key", d;
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= r.u16(i);
    if (sum != r.u16(20))
        return d.error = "bad header checksum", d;
    d.size = QSize(r.i16(10) - r.i16(6), r.i16(12) - r.i16(8));
    d.unitsPerInch = r.u16(14);
    if (r.u16(22) != 1 || r.u16(24) != 9 || qsizetype(r.u32(28)) * 2 != b.size() - 22)
        return d.error = "bad metafile header", d;
    Objects obj;
    std::vector<bool> used;
    QStringDecoder cp1251("windows-1251");
    for (qsizetype at = 40;;) {
        if (at + 6 > b.size())
            return d.error = "no end record", d;
        const qsizetype size = qsizetype(r.u32(at)) * 2;
        const quint16 fn = r.u16(at + 4);
        const qsizetype p = at + 6;
        if (size < 6 || at + size > b.size())
            return d.error = "bad record size", d;
        if (fn == 0x0000)
            return at + size == b.size() ? d : (d.error = "data after the end", d);
        auto create = [&](Objects::Obj o) {
            const auto free = std::find(used.begin(), used.end(), false);
            const int slot = int(free - used.begin());
            free == used.end() ? used.push_back(true) : void(*free = true);
            obj.table[slot] = o;
        };
        auto poly = [&] {
            QPolygon pts;
            for (int i = 0; i < r.i16(p); ++i)
                pts << QPoint(r.i16(p + 2 + 4 * i), r.i16(p + 4 + 4 * i));
            return pts;
        };
        switch (fn) {
        case 0x02FA:
            create({'p', fromColorRef(r.u32(p + 6)), 0});
            break;
        case 0x02FC:
            create({'b', fromColorRef(r.u32(p + 2)), 0});
            break;
        case 0x02FB:
            create({'f', 0, r.i16(p)});
            break;
        case 0x012D:
            obj.select(r.u16(p));
            break;
        case 0x01F0:
            used.at(r.u16(p)) = false;
            break;
        case 0x0209:
            obj.textColor = fromColorRef(r.u32(p));
            break;
        case 0x0325:
            d.lines << Shape{poly(), obj.pen.color};
            break;
        case 0x0A32: {
            const int n = r.i16(p + 4);
            d.texts << Text{QPoint(r.i16(p + 2), r.i16(p)), cp1251(b.mid(p + 8, n)), obj.textColor,
                            obj.font.height};
            break;
        }
        default:
            break;
        }
        at += size;
    }
}

Drawing parseEmf(const QByteArray& b)
{
    Drawing d;
    Reader r{b};
    if (b.size() < 108 || r.u32(0) != 1 || r.u32(40) != 0x464D4520 || qsizetype(r.u32(48)) != b.size())
        return d.error = "bad header", d;
    d.size = QSize(r.i32(16) - r.i32(8) + 1, r.i32(20) - r.i32(12) + 1);
    Objects obj;
    quint32 records = 0;
    for (qsizetype at = 0;;) {
        if (at + 8 > b.size())
            return d.error = "no end record", d;
        const quint32 type = r.u32(at);
        const qsizetype size = r.u32(at + 4);
        const qsizetype p = at + 8;
        if (size < 8 || size % 4 || at + size > b.size())
            return d.error = "bad record size", d;
        ++records;
        if (type == 14)
            return at + size == b.size() && records == r.u32(52) ? d : (d.error = "bad end or count", d);
        auto poly = [&] {
            QPolygon pts;
            for (quint32 i = 0; i < r.u32(p + 16); ++i)
                pts << QPoint(r.i16(p + 20 + 4 * i), r.i16(p + 22 + 4 * i));
            return pts;
        };
        switch (type) {
        case 38:
            obj.table[int(r.u32(p))] = {'p', fromColorRef(r.u32(p + 16)), 0};
            break;
        case 39:
            obj.table[int(r.u32(p))] = {'b', fromColorRef(r.u32(p + 8)), 0};
            break;
        case 82:
            obj.table[int(r.u32(p))] = {'f', 0, r.i32(p + 4)};
            break;
        case 37:
            obj.select(int(r.u32(p)));
            break;
        case 40:
            obj.table.erase(int(r.u32(p)));
            break;
        case 24:
            obj.textColor = fromColorRef(r.u32(p));
            break;
        case 87:
            d.lines << Shape{poly(), obj.pen.color};
            break;
        case 84: {
            const quint32 n = r.u32(at + 44), off = r.u32(at + 48);
            QString s;
            for (quint32 i = 0; i < n; ++i)
                s += QChar(r.u16(at + off + 2 * i));
            d.texts << Text{QPoint(r.i32(at + 36), r.i32(at + 40)), s, obj.textColor, obj.font.height};
            break;
        }
        default:
            break;
        }
        at += size;
    }
}

// ---- what is drawn

// Known shapes through a plain painter: a red line, a clipped line, a filled rectangle, Cyrillic text and
// the author mark.
void drawShapes(QPainter& p, const QRectF& r)
{
    p.fillRect(r, Qt::white);
    p.setPen(QPen(Qt::red, 1));
    p.drawLine(QPointF(10, 20), QPointF(110, 20));
    p.save();
    p.setClipRect(QRectF(0, 0, 50, 100));
    p.setPen(QPen(Qt::blue, 1));
    p.drawLine(QPointF(20, 60), QPointF(300, 60));
    p.restore();
    p.setPen(QPen(QColor(0, 128, 0), 1));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(14);
    p.setFont(f);
    p.drawText(QPointF(30, 90), Caption);
    drawAuthorMark(p, r, Author);
}

// A chart as Qt Charts paints it: a series of known points, axes, and a caption over it.
class StandIn {
public:
    StandIn()
    {
        auto* chart = new QChart;
        series_ = new QLineSeries;
        for (int i = 0; i <= 20; ++i)
            series_->append(i * 0.5, (i % 5) * 10.0);
        series_->setPen(QPen(SeriesColor, 1));
        chart->addSeries(series_);
        chart->legend()->hide();
        auto* x = new QValueAxis;
        auto* y = new QValueAxis;
        x->setRange(0, 10);
        y->setRange(0, 50);
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        series_->attachAxis(x);
        series_->attachAxis(y);
        view_.setChart(chart);
        view_.resize(PictureSize);
        view_.show();
        QCoreApplication::processEvents();
    }
    ChartPainter painter()
    {
        return [this](QPainter& p, const QRectF& r) {
            view_.scene()->render(&p, r, view_.sceneRect(), Qt::IgnoreAspectRatio);
            p.setPen(Qt::black);
            p.drawText(r.topLeft() + QPointF(60, 30), Caption);
        };
    }
    int pointCount() const { return int(series_->count()); }

private:
    QChartView view_;
    QLineSeries* series_;
};

QByteArray render(PictureFormat f, const ChartPainter& draw)
{
    QByteArray out;
    QString error;
    if (!renderPicture(f, draw, PictureSize, out, &error))
        qWarning() << error;
    return out;
}

bool haveTool(const char* name)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

} // namespace

class PictureTest : public QObject {
    Q_OBJECT
private slots:
    void extensionChoosesTheFormat()
    {
        QTemporaryDir dir;
        StandIn chart;
        struct Case {
            const char* name;
            QByteArray magic;
        };
        const Case cases[] = {{"chart.jpeg", "\xFF\xD8\xFF"},
                              {"chart.JPG", "\xFF\xD8\xFF"},
                              {"chart.Wmf", "\xD7\xCD\xC6\x9A"},
                              {"chart.emf", QByteArray("\x01\0\0\0", 4)},
                              {"chart.png", "\x89PNG\r\n\x1A\n"},
                              {"chart.svg", "<?xml"},
                              {"chart.pdf", "%PDF-"},
                              {"chart.xyz", "BM"},
                              {"chart", "BM"}};
        for (const Case& c : cases) {
            const QString name = dir.filePath(c.name);
            QString error;
            QVERIFY2(saveChartPicture(name, chart.painter(), PictureSize, &error), qPrintable(error));
            const QByteArray bytes = test::readBytes(name);
            QVERIFY2(bytes.startsWith(c.magic), c.name);
            if (c.magic == "BM" || c.magic.startsWith("\x89PNG") || c.magic.startsWith("\xFF\xD8")) {
                const QImage back = QImage::fromData(bytes);
                QCOMPARE(back.size(), PictureSize);
            }
            if (c.magic == "BM") {
                QCOMPARE(Reader{bytes}.u16(28), quint16(24)); // bits a pixel
                // The chart on white: Qt Charts leaves the corner of its rounded background to it.
                QCOMPARE(QImage::fromData(bytes).pixelColor(0, 0), QColor(Qt::white));
            }
        }
        // A file that cannot be written is reported, and an existing picture is kept.
        QString error;
        QVERIFY(!saveChartPicture(dir.filePath("no/such/chart.png"), chart.painter(), PictureSize, &error));
        QVERIFY(!error.isEmpty());
    }

    void jpegIsBaselineQuality90()
    {
        StandIn chart;
        const QByteArray jpeg = render(PictureFormat::Jpeg, chart.painter());
        bool sof0 = false, progressive = false;
        QList<int> luminance;
        for (qsizetype at = 2; at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF;) {
            const int marker = quint8(jpeg[at + 1]);
            const int length = (quint8(jpeg[at + 2]) << 8) | quint8(jpeg[at + 3]);
            if (marker == 0xC0) {
                sof0 = true;
                QCOMPARE(int(quint8(jpeg[at + 4])), 8); // bits a sample
                QCOMPARE(int(quint8(jpeg[at + 9])), 3); // components: 24-bit colour
            }
            progressive = progressive || marker == 0xC2;
            if (marker == 0xDB && luminance.isEmpty())
                for (int i = 0; i < 64; ++i)
                    luminance << quint8(jpeg[at + 5 + i]);
            if (marker == 0xDA)
                break;
            at += 2 + length;
        }
        QVERIFY(sof0);
        QVERIFY(!progressive);
        // Quality 90 scales the standard tables to a fifth: the luminance table starts 16, 11, 12 -> 3, 2, 2.
        QCOMPARE(luminance.mid(0, 3), (QList<int>{3, 2, 2}));
    }

    void metafilesReadBackIntoTheDrawing_data()
    {
        QTest::addColumn<bool>("wmf");
        QTest::newRow("wmf") << true;
        QTest::newRow("emf") << false;
    }
    void metafilesReadBackIntoTheDrawing()
    {
        QFETCH(bool, wmf);
        const QByteArray bytes = render(wmf ? PictureFormat::Wmf : PictureFormat::Emf, drawShapes);
        const Drawing d = wmf ? parseWmf(bytes) : parseEmf(bytes);
        QVERIFY2(d.error.isEmpty(), qPrintable(d.error));
        QCOMPARE(d.size, PictureSize);
        if (wmf)
            QCOMPARE(d.unitsPerInch, 96);
        QVERIFY(d.hasLine(QPolygon({QPoint(10, 20), QPoint(110, 20)}), qRgb(255, 0, 0)));
        // The clip cuts the blue line at x = 50.
        QVERIFY(d.hasLine(QPolygon({QPoint(20, 60), QPoint(50, 60)}), qRgb(0, 0, 255)));
        const Text* caption = d.text(Caption);
        QVERIFY(caption);
        QCOMPARE(caption->at, QPoint(30, 90));
        QCOMPARE(caption->color, qRgb(0, 128, 0));
        QCOMPARE(caption->height, -14);
        const Text* mark = d.text(authorMarkText(Author));
        QVERIFY(mark);
        QCOMPARE(mark->at.x(), 3);
        QVERIFY(mark->at.y() > PictureSize.height() - 20 && mark->at.y() < PictureSize.height());

        // A chart: the series is one polyline of its colour through all its points (none repeated), the axes'
        // labels and the caption are text, not outlines.
        StandIn chart;
        const QByteArray chartBytes = render(wmf ? PictureFormat::Wmf : PictureFormat::Emf, chart.painter());
        const Drawing c = wmf ? parseWmf(chartBytes) : parseEmf(chartBytes);
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        const auto series = std::find_if(c.lines.begin(), c.lines.end(),
                                         [](const Shape& s) { return s.color == SeriesColor.rgb(); });
        QVERIFY(series != c.lines.end());
        QCOMPARE(series->points.size(), chart.pointCount());
        for (const QString& text : {Caption, QStringLiteral("50.0"), QStringLiteral("10.0")})
            QVERIFY2(c.text(text), qPrintable(text));
    }

    void emfRendersWithAnotherReader()
    {
        if (!haveTool("emf2svg-conv") || !haveTool("rsvg-convert"))
            QSKIP("emf2svg-conv or rsvg-convert is not installed");
        QTemporaryDir dir;
        StandIn chart;
        const QString emf = dir.filePath("chart.emf");
        const QString svg = dir.filePath("chart.svg");
        const QString png = dir.filePath("chart.png");
        QVERIFY(saveChartPicture(emf, chart.painter(), PictureSize));
        QCOMPARE(QProcess::execute(QStringLiteral("emf2svg-conv"), {"-i", emf, "-o", svg}), 0);
        QVERIFY(test::readBytes(svg).contains(Caption.toUtf8()));
        QCOMPARE(QProcess::execute(QStringLiteral("rsvg-convert"), {"-b", "white", svg, "-o", png}), 0);
        const QImage image(png);
        QVERIFY(!image.isNull());
        int seriesPixels = 0; // blue ones, antialiased or not
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                seriesPixels += c.blue() > 200 && c.red() < 150;
            }
        QVERIFY2(seriesPixels > 100, qPrintable(QString::number(seriesPixels)));
    }

    void printedPageLayout()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("page.pdf");
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(600);
        printer.setPageSize(QPageSize(QSizeF(8, 11), QPageSize::Inch));
        printer.setFullPage(true);
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QCOMPARE(QSize(printer.width(), printer.height()), QSize(4800, 6600));

        QRectF given;
        auto box = [&](QPainter& p, const QRectF& r) {
            given = r;
            p.fillRect(r, Qt::black);
        };
        QPainter painter(&printer);
        composePrintedPage(painter, QSize(4800, 6600), box,
                           QString::fromUtf8("Файл: C:\\test\\run1.wav    Дата печати:01.02.2024"));
        painter.end();
        QCOMPARE(given, QRectF(QPointF(330, 240), QPointF(4470, 6120)));

        if (!haveTool("pdftoppm"))
            QSKIP("pdftoppm is not installed");
        const QString base = dir.filePath("page");
        QCOMPARE(
            QProcess::execute(QStringLiteral("pdftoppm"), {"-r", "600", "-png", "-singlefile", pdf, base}),
            0);
        const QImage page(base + ".png");
        QCOMPARE(page.size(), QSize(4800, 6600));
        // Ink: the chart's box and, under it, the footer.
        QRect chartInk, footerInk;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); x += (y > 6120 ? 1 : 7))
                if (qGray(page.pixel(x, y)) < 128)
                    (y < 6125 ? chartInk : footerInk) |= QRect(x, y, 1, 1);
        QVERIFY(qAbs(chartInk.top() - 240) <= 1 && qAbs(chartInk.bottom() - 6119) <= 1);
        QVERIFY(qAbs(chartInk.left() - 330) <= 7 && qAbs(chartInk.right() - 4469) <= 7);
        QVERIFY2(footerInk.bottom() <= 6360 && footerInk.bottom() > 6360 - 40 && footerInk.top() > 6200,
                 qPrintable(QString("%1..%2").arg(footerInk.top()).arg(footerInk.bottom())));
        QVERIFY(footerInk.left() >= 330 && footerInk.left() < 345);
    }

    void footerText()
    {
        const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
        QCOMPARE(printFooter(QString::fromUtf8("C:\\test\\run1.wav"), when,
                             QLocale(QLocale::Russian, QLocale::Russia)),
                 QString::fromUtf8("Файл: C:\\test\\run1.wav    Дата печати:05.03.2024 14:07:09"));
    }
};

QTEST_MAIN(PictureTest)
#include "PictureTest.moc"
