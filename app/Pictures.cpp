// The window's Qt copies of the core's bitmaps and photographs, for drawing.

#include "app/Pictures.h"

#include "platform/Errors.h"

#include <cstring>
#include <string>

namespace qv {
namespace {

// Pixel bytes beyond a short palette draw black rather than whatever Qt makes of them.
QList<QRgb> colourTable(const std::vector<PaletteEntry>& palette) {
    QList<QRgb> table(256, qRgb(0, 0, 0));
    for (std::size_t index = 0; index < palette.size() && index < 256; ++index) {
        const PaletteEntry& entry = palette[index];
        table[static_cast<qsizetype>(index)] = qRgb(entry.red, entry.green, entry.blue);
    }
    return table;
}

QImage blankImage(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    if (image.isNull()) {
        throw GeneralError("Not enough memory to show a picture of " + std::to_string(width) +
                           " x " + std::to_string(height) + " pixels");
    }
    return image;
}

// Copies rows of rowBytes from tightly packed or strided source rows into the image's own.
template <typename RowSource>
void copyRows(QImage& image, std::size_t rowBytes, const RowSource& sourceRow) {
    for (int row = 0; row < image.height(); ++row) {
        std::memcpy(image.scanLine(row), sourceRow(row), rowBytes);
    }
}

} // namespace

QImage fingerprintImage(const Bitmap& fingerprint) {
    if (fingerprint.width() == 0 || fingerprint.height() == 0) {
        return {};
    }
    QImage image = blankImage(fingerprint.width(), fingerprint.height(), QImage::Format_Indexed8);
    const auto& palette = fingerprint.palette();
    image.setColorTable(colourTable(palette.empty() ? Bitmap::grayPalette() : palette));
    copyRows(image, static_cast<std::size_t>(fingerprint.width()),
             [&](int row) { return fingerprint.scanLine(row).data(); });
    return image;
}

QImage photographImage(const Photo& photo) {
    const QImage::Format format =
        photo.format == PhotoPixels::Gray8 ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
    if (photo.width == 0 || photo.height == 0) {
        return {};
    }
    QImage image = blankImage(photo.width, photo.height, format);
    const std::size_t rowBytes = static_cast<std::size_t>(photo.width) * photo.bytesPerPixel();
    copyRows(image, rowBytes, [&](int row) { return photo.pixels.data() + row * rowBytes; });
    return image;
}

} // namespace qv
