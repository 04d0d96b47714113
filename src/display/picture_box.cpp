#include "display/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

namespace display {

PictureBox::PictureBox(int clientWidth, int clientHeight, QWidget* parent)
    : QFrame(parent),
      surface_(clientWidth, clientHeight, QImage::Format_RGB32),
      scaleW_(clientWidth),
      scaleH_(clientHeight) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setFixedSize(clientWidth + 2, clientHeight + 2);
    setMouseTracking(true);
    surface_.fill(Qt::white);
}

void PictureBox::setScale(double logicalWidth, double logicalHeight) {
    scaleW_ = logicalWidth;
    scaleH_ = logicalHeight;
}

void PictureBox::clear() {
    surface_.fill(Qt::white);
    update();
}

void PictureBox::drawPictureStretched(const QImage& picture) {
    if (picture.hasAlphaChannel()) { // drawn over what the box shows
        QPainter p(&surface_);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(QRect(0, 0, surface_.width(), surface_.height()), picture);
        return;
    }
    // the same picture again (a blink's next tick): its stretched copy
    for (const auto& [key, stretched] : stretched_)
        if (key == picture.cacheKey() && stretched.size() == surface_.size()) {
            surface_ = stretched;
            return;
        }
    QImage out(surface_.size(), surface_.format());
    {
        QPainter p(&out);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(QRect(0, 0, out.width(), out.height()), picture);
    }
    surface_ = out;
    stretched_.insert(stretched_.begin(), {picture.cacheKey(), out});
    if (stretched_.size() > 2) stretched_.pop_back();
}

void PictureBox::invertRect(int x, int y, int w, int h) {
    const QRect r = QRect(x, y, w, h).intersected(surface_.rect());
    for (int yy = r.top(); yy <= r.bottom(); ++yy) {
        auto* line = reinterpret_cast<QRgb*>(surface_.scanLine(yy));
        for (int xx = r.left(); xx <= r.right(); ++xx) line[xx] ^= 0x00FFFFFFu;
    }
}

void PictureBox::drawCircle(double cx, double cy, double radius, const QColor& color) {
    QPainter p(&surface_);
    const double sx = surface_.width() / scaleW_;
    const double sy = surface_.height() / scaleH_;
    p.setPen(QPen(color, penWidth_));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(cx * sx, cy * sy), radius * sx, radius * sy);
}

void PictureBox::copyStretchedFrom(const PictureBox& source, int sx, int sy, int sw, int sh,
                                   int dx, int dy, int dw, int dh) {
    // Outside the source's surface the copy shows black, as a blit from beyond a bitmap does.
    QImage square(sw, sh, QImage::Format_RGB32);
    square.fill(Qt::black);
    {
        QPainter p(&square);
        p.drawImage(QPoint(-sx, -sy), source.surface_);
    }
    QPainter p(&surface_);
    p.drawImage(QRect(dx, dy, dw, dh), square);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), surface_);
}

} // namespace display

namespace display {

QPointF PictureBox::logical(const QPointF& p) const {
    const QPointF c = p - contentsRect().topLeft();
    return {c.x() * scaleW_ / surface_.width(), c.y() * scaleH_ / surface_.height()};
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    const QPointF l = logical(event->position());
    emit mousePressed(l.x(), l.y());
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    const QPointF l = logical(event->position());
    emit mouseMoved(l.x(), l.y());
}

} // namespace display
