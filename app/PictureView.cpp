// The window's picture box: a fingerprint bitmap or a photograph.

#include "app/PictureView.h"

#include <QPainter>

namespace qv {

PictureView::PictureView(QWidget* parent)
    : QWidget(parent) {}

QRect PictureView::placement(QSize picture, QSize area) {
    if (picture.width() <= area.width() && picture.height() <= area.height()) {
        return {QPoint(0, 0), picture};
    }
    return {QPoint(0, 0), picture.scaled(area, Qt::KeepAspectRatio)};
}

void PictureView::showBitmap(const QImage& bitmap) {
    setImage(bitmap, false);
}

void PictureView::showPhotograph(const QImage& photograph) {
    setImage(photograph, true);
}

void PictureView::discardPhotograph() {
    if (photograph_) {
        image_ = QImage();
        photograph_ = false;
    }
    drawn_ = QPixmap();
    update();
}

void PictureView::setImage(const QImage& image, bool photograph) {
    image_ = image;
    photograph_ = photograph;
    drawn_ = QPixmap();
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) {
        return;
    }
    const QRect target = placement(image_.size(), size());
    // Scaling a large photograph on every repaint would be wasted work; keep the last result.
    if (drawn_.size() != target.size()) {
        drawn_ = QPixmap::fromImage(
            image_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    QPainter(this).drawPixmap(target.topLeft(), drawn_);
}

} // namespace qv
