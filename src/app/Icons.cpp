#include "Icons.h"

#include "core/UiTexts.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>
#include <map>

namespace {

constexpr int kSize = 32;
const QColor kOutline(0x26, 0x32, 0x38);

QPen outlinePen(qreal width = 2.0) {
    return QPen(kOutline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A down arrow into a target, used by the flash and storage icons.
void drawArrowDown(QPainter& p, qreal x, qreal top, qreal bottom, const QColor& color) {
    p.setPen(QPen(color, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(x, top), QPointF(x, bottom));
    p.drawLine(QPointF(x - 5, bottom - 5), QPointF(x, bottom));
    p.drawLine(QPointF(x + 5, bottom - 5), QPointF(x, bottom));
}

void drawChip(QPainter& p, const QRectF& body, const QColor& fill) {
    p.setPen(outlinePen(1.5));
    for (int i = 0; i < 4; ++i) {
        const qreal x = body.left() + 4 + i * (body.width() - 8) / 3;
        p.drawLine(QPointF(x, body.top() - 3), QPointF(x, body.top()));
        p.drawLine(QPointF(x, body.bottom()), QPointF(x, body.bottom() + 3));
    }
    p.setPen(outlinePen());
    p.setBrush(fill);
    p.drawRoundedRect(body, 3, 3);
}

// A closed outline through the corners, filled; the outline pen stays set.
void drawOutlined(QPainter& p, std::initializer_list<QPointF> corners, const QBrush& fill) {
    QPainterPath outline;
    outline.moveTo(*corners.begin());
    for (auto corner = corners.begin() + 1; corner != corners.end(); ++corner) {
        outline.lineTo(*corner);
    }
    outline.closeSubpath();
    p.setPen(outlinePen());
    p.setBrush(fill);
    p.drawPath(outline);
}

void drawSerial(QPainter& p) {
    // A nine-pin connector face.
    drawOutlined(p, {{3, 9}, {29, 9}, {25, 23}, {7, 23}}, QColor(0x4f, 0x8f, 0xd8));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 5; ++i) {
        p.drawEllipse(QPointF(8 + i * 4, 13.5), 1.5, 1.5);
    }
    for (int i = 0; i < 4; ++i) {
        p.drawEllipse(QPointF(10 + i * 4, 18.5), 1.5, 1.5);
    }
}

void drawTcp(QPainter& p) {
    // A globe: direct connection over the network.
    p.setPen(outlinePen());
    p.setBrush(QColor(0x3f, 0xb3, 0x7f));
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawEllipse(QRectF(11, 5, 10, 22));
    p.drawLine(QPointF(5, 16), QPointF(27, 16));
    p.drawLine(QPointF(7, 10), QPointF(25, 10));
    p.drawLine(QPointF(7, 22), QPointF(25, 22));
}

void drawBroker(QPainter& p) {
    // A relay: one hub with three controllers around it.
    const QPointF hub(16, 16);
    const QPointF nodes[] = {{6, 7}, {26, 7}, {16, 28}};
    p.setPen(outlinePen(2.0));
    for (const QPointF& node : nodes) {
        p.drawLine(hub, node);
    }
    p.setBrush(QColor(0xe0, 0x8a, 0x2e));
    p.drawEllipse(hub, 6, 6);
    p.setBrush(QColor(0xf3, 0xd0, 0x9b));
    for (const QPointF& node : nodes) {
        p.drawEllipse(node, 3.5, 3.5);
    }
}

void drawFlash(QPainter& p) {
    drawChip(p, QRectF(6, 17, 20, 11), QColor(0x4f, 0x8f, 0xd8));
    drawArrowDown(p, 16, 2, 14, QColor(0x2e, 0x7d, 0x32));
}

void drawStore(QPainter& p) {
    // A memory cylinder with the arrow into it.
    p.setPen(outlinePen());
    p.setBrush(QColor(0x9c, 0x6a, 0xd0));
    p.drawRoundedRect(QRectF(7, 15, 18, 14), 2, 2);
    p.drawEllipse(QRectF(7, 12, 18, 6));
    drawArrowDown(p, 16, 1, 11, QColor(0x2e, 0x7d, 0x32));
}

void drawReadBack(QPainter& p) {
    // A page with a dog-ear and an arrow out of the controller into it.
    drawOutlined(p, {{8, 3}, {20, 3}, {26, 9}, {26, 29}, {8, 29}}, Qt::white);
    p.drawLine(QPointF(20, 3), QPointF(20, 9));
    p.drawLine(QPointF(20, 9), QPointF(26, 9));
    drawArrowDown(p, 17, 10, 25, QColor(0x9c, 0x6a, 0xd0));
}

void drawCancel(QPainter& p) {
    p.setPen(outlinePen());
    p.setBrush(QColor(0xd3, 0x2f, 0x2f));
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

void drawTerminal(QPainter& p) {
    p.setPen(outlinePen());
    p.setBrush(QColor(0x37, 0x47, 0x4f));
    p.drawRoundedRect(QRectF(3, 5, 26, 22), 3, 3);
    p.setPen(QPen(QColor(0x8b, 0xe0, 0x8b), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QList<QPointF>{{8, 11}, {13, 16}, {8, 21}});
    p.drawLine(QPointF(16, 21), QPointF(23, 21));
}

void drawAbout(QPainter& p) {
    p.setPen(outlinePen());
    p.setBrush(QColor(0x4f, 0x8f, 0xd8));
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPoint(QPointF(16, 10));
    p.drawLine(QPointF(16, 15), QPointF(16, 22));
}

void drawExit(QPainter& p) {
    // An open door with the arrow leaving.
    p.setPen(outlinePen());
    p.setBrush(QColor(0xc9, 0xa2, 0x7e));
    p.drawRect(QRectF(5, 4, 13, 24));
    p.setPen(QPen(QColor(0xd3, 0x2f, 0x2f), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(13, 16), QPointF(28, 16));
    p.drawPolyline(QList<QPointF>{{23, 11}, {28, 16}, {23, 21}});
}

void drawApplication(QPainter& p) {
    drawChip(p, QRectF(5, 8, 22, 16), QColor(0x26, 0x32, 0x38));
    p.setPen(QPen(QColor(0x8b, 0xe0, 0x8b), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(16, 11), QPointF(16, 20));
    p.drawPolyline(QList<QPointF>{{12, 16}, {16, 20}, {20, 16}});
}

const std::map<int, std::function<void(QPainter&)>>& drawings() {
    static const std::map<int, std::function<void(QPainter&)>> table = {
        {kIconSerial, drawSerial},
        {kIconTcp, drawTcp},
        {kIconBroker, drawBroker},
        {kIconFlash, drawFlash},
        {kIconStore, drawStore},
        {kIconReadBack, drawReadBack},
        {kIconCancel, drawCancel},
        {Icons::Terminal, drawTerminal},
        {Icons::About, drawAbout},
        {Icons::Exit, drawExit},
        {Icons::Application, drawApplication},
    };
    return table;
}

} // namespace

QPixmap Icons::render(int number, int size) {
    const auto drawing = drawings().find(number);
    if (drawing == drawings().end() || size <= 0) {
        return QPixmap();
    }
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(qreal(size) / kSize, qreal(size) / kSize);
        drawing->second(painter);
    }
    return pixmap;
}

QIcon Icons::icon(int number) {
    static std::map<int, QIcon> cache;
    const auto cached = cache.find(number);
    if (cached != cache.end()) {
        return cached->second;
    }
    const QPixmap pixmap = render(number, kSize);
    if (pixmap.isNull()) {
        return QIcon();
    }
    QIcon result(pixmap);
    cache.emplace(number, result);
    return result;
}
