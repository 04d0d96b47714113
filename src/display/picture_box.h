#pragma once
// A picture control with a retained drawing surface: whatever is drawn stays
// in the surface until drawn over, and the widget paints itself from it.
// Logical coordinates map the surface to a chosen width and height; the bitmap
// operations (invert, stretched copy) count device pixels.
#include <QColor>
#include <QFrame>
#include <QImage>

#include <utility>
#include <vector>

namespace display {

class PictureBox : public QFrame {
    Q_OBJECT
public:
    PictureBox(int clientWidth, int clientHeight, QWidget* parent = nullptr);

    // Pixel mode followed by a logical width and height.
    void setScale(double logicalWidth, double logicalHeight);
    double scaleWidth() const { return scaleW_; }
    double scaleHeight() const { return scaleH_; }

    void clear();
    void drawPictureStretched(const QImage& picture);
    void invertRect(int x, int y, int w, int h);
    void setPenWidth(int w) { penWidth_ = w; }
    void drawCircle(double cx, double cy, double radius, const QColor& color);
    void copyStretchedFrom(const PictureBox& source, int sx, int sy, int sw, int sh, int dx, int dy,
                           int dw, int dh);
    void refresh() { update(); }

    const QImage& surface() const { return surface_; }

signals:
    // positions in logical units
    void mousePressed(double x, double y);
    void mouseMoved(double x, double y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPointF logical(const QPointF& widgetPos) const;
    QImage surface_;
    // the last pictures stretched into the box, by their images' cache keys
    std::vector<std::pair<qint64, QImage>> stretched_;
    double scaleW_;
    double scaleH_;
    int penWidth_ = 1;
};

} // namespace display
