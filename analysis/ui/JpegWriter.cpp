#include "analysis/ui/JpegWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace selva {

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends the program; here it jumps
// back to the encoder with the message kept.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void onJpegError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->back, 1);
}

// Kept free of objects with destructors: a longjmp out of libjpeg lands in this frame.
bool encodeRows(const unsigned char* rgb, int width, int height, int quality, unsigned char** buffer,
                unsigned long* size, char* message)
{
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onJpegError;
    err.message[0] = '\0';
    if (setjmp(err.back)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    // Baseline: quantisation tables limited to 8-bit values, no progressive scan script.
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const auto stride = static_cast<std::size_t>(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool encodeJpeg(const QImage& image, int quality, QByteArray& out, QString* error)
{
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("Empty picture");
        return false;
    }
    // Tightly packed 8-bit red, green, blue rows, as libjpeg takes them.
    QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray rows;
    rows.reserve(static_cast<qsizetype>(rgb.width()) * 3 * rgb.height());
    for (int y = 0; y < rgb.height(); ++y)
        rows.append(reinterpret_cast<const char*>(rgb.constScanLine(y)),
                    static_cast<qsizetype>(rgb.width()) * 3);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    const bool ok = encodeRows(reinterpret_cast<const unsigned char*>(rows.constData()), rgb.width(),
                               rgb.height(), quality, &buffer, &size, message);
    if (ok)
        out = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer); // jpeg_mem_dest's buffer, malloc'ed by libjpeg
    if (!ok && error)
        *error = QString::fromLocal8Bit(message);
    return ok;
}

} // namespace selva
