#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "ui/program_icon.h"

namespace qv {
namespace {

// The drawing works in a 256 x 256 design space.
constexpr double kDesign = 256.0;

void drawSky(QPainter& p) {
    QLinearGradient sky(0, 0, 0, kDesign);
    sky.setColorAt(0.0, QColor(18, 62, 128));
    sky.setColorAt(1.0, QColor(70, 150, 215));
    QPainterPath frame;
    frame.addRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
    p.fillPath(frame, sky);
    p.setClipPath(frame);
}

void drawBeams(QPainter& p) {
    // One vertical and two oblique beams rising from the antenna.
    const QPointF origin(128, 200);
    const QColor beam(255, 214, 90, 150);
    p.setPen(Qt::NoPen);
    p.setBrush(beam);
    const double halfWidth = 13;
    const QPointF tops[] = {{128, 20}, {52, 36}, {204, 36}};
    for (const QPointF& top : tops) {
        QLineF axis(origin, top);
        QLineF normal = axis.normalVector().unitVector();
        const QPointF offset(normal.dx() * halfWidth, normal.dy() * halfWidth);
        QPolygonF cone;
        cone << origin << top + offset << top - offset;
        p.drawPolygon(cone);
    }
}

void drawWind(QPainter& p) {
    // A wind arrow sweeping across the beams.
    QPainterPath stream;
    stream.moveTo(30, 104);
    stream.cubicTo(80, 70, 150, 136, 206, 96);
    QPen pen(QColor(255, 255, 255), 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(stream);
    QPolygonF head;
    head << QPointF(232, 78) << QPointF(190, 78) << QPointF(214, 118);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawPolygon(head);
}

void drawAntenna(QPainter& p) {
    // Ground and a phased-array panel seen at a slant.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 96, 52));
    p.drawRect(QRectF(0, 214, kDesign, 42));
    QPolygonF panel;
    panel << QPointF(70, 226) << QPointF(186, 226) << QPointF(166, 194) << QPointF(90, 194);
    p.setBrush(QColor(210, 216, 224));
    p.setPen(QPen(QColor(60, 66, 80), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolygon(panel);
    p.setPen(QPen(QColor(110, 118, 132), 3));
    for (int i = 1; i < 4; ++i) {
        const double t = i / 4.0;
        p.drawLine(QPointF(70 + 116 * t, 226), QPointF(90 + 76 * t, 194));
    }
    p.drawLine(QPointF(80, 210), QPointF(176, 210));
}

}  // namespace

QImage drawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kDesign, size / kDesign);
    drawSky(p);
    drawBeams(p);
    drawWind(p);
    drawAntenna(p);
    p.end();
    return image;
}

}  // namespace qv
