// The window's picture box: a fingerprint bitmap or a photograph.

#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace qv {

// The window's picture: a fingerprint bitmap or a photograph, drawn from the top-left corner,
// scaled down with its aspect ratio kept when it is larger than the area and at its own size
// otherwise.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    void showBitmap(const QImage& bitmap);
    void showPhotograph(const QImage& photograph);

    // Makes the picture a bitmap again: a photograph is replaced by an empty bitmap, a
    // fingerprint stays, and the scaled copy kept for drawing is released either way.
    void discardPhotograph();

    const QImage& image() const { return image_; }
    bool holdsPhotograph() const { return photograph_; }

    // Where the picture lands inside an area of the given size.
    static QRect placement(QSize picture, QSize area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setImage(const QImage& image, bool photograph);

    QImage image_;
    bool photograph_ = false;
    QPixmap drawn_;
};

} // namespace qv
