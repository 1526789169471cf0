#include "platform/ui/pictures.h"

#include <QAction>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>

#include <algorithm>

namespace ui {
namespace {

const QColor kBlue(0x1f, 0x5f, 0xa8);
const QColor kLightBlue(0x8c, 0xb8, 0xe8);
const QColor kYellow(0xf0, 0xc2, 0x4a);
const QColor kDarkYellow(0xb8, 0x8a, 0x1c);
const QColor kGreen(0x2e, 0x9a, 0x3e);
const QColor kRed(0xc8, 0x32, 0x32);
const QColor kGrey(0x80, 0x80, 0x80);

void folder(QPainter& p, qreal s) {
    p.setPen(QPen(kDarkYellow, s / 16));
    p.setBrush(kYellow);
    QPainterPath path;
    path.moveTo(s * 0.06, s * 0.25);
    path.lineTo(s * 0.40, s * 0.25);
    path.lineTo(s * 0.48, s * 0.35);
    path.lineTo(s * 0.94, s * 0.35);
    path.lineTo(s * 0.94, s * 0.85);
    path.lineTo(s * 0.06, s * 0.85);
    path.closeSubpath();
    p.drawPath(path);
}

void page(QPainter& p, qreal s) {
    p.setPen(QPen(kGrey, s / 16));
    p.setBrush(Qt::white);
    QPolygonF poly;
    poly << QPointF(s * 0.2, s * 0.06) << QPointF(s * 0.62, s * 0.06) << QPointF(s * 0.82, s * 0.26)
         << QPointF(s * 0.82, s * 0.94) << QPointF(s * 0.2, s * 0.94);
    p.drawPolygon(poly);
    p.drawLine(QPointF(s * 0.62, s * 0.06), QPointF(s * 0.62, s * 0.26));
    p.drawLine(QPointF(s * 0.62, s * 0.26), QPointF(s * 0.82, s * 0.26));
}

// A globe-like server disc: the site images.
void globe(QPainter& p, qreal s, const QColor& fill) {
    p.setPen(QPen(kBlue.darker(130), s / 16));
    p.setBrush(fill);
    const QRectF r(s * 0.1, s * 0.1, s * 0.8, s * 0.8);
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(s * 0.32, s * 0.1, s * 0.36, s * 0.8));
    p.drawLine(QPointF(s * 0.1, s * 0.5), QPointF(s * 0.9, s * 0.5));
}

void arrow(QPainter& p, qreal s, bool up, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPolygonF poly;
    if (up)
        poly << QPointF(s * 0.5, s * 0.08) << QPointF(s * 0.9, s * 0.5) << QPointF(s * 0.65, s * 0.5)
             << QPointF(s * 0.65, s * 0.92) << QPointF(s * 0.35, s * 0.92) << QPointF(s * 0.35, s * 0.5)
             << QPointF(s * 0.1, s * 0.5);
    else
        poly << QPointF(s * 0.5, s * 0.92) << QPointF(s * 0.9, s * 0.5) << QPointF(s * 0.65, s * 0.5)
             << QPointF(s * 0.65, s * 0.08) << QPointF(s * 0.35, s * 0.08) << QPointF(s * 0.35, s * 0.5)
             << QPointF(s * 0.1, s * 0.5);
    p.drawPolygon(poly);
}

void dot(QPainter& p, qreal s, const QColor& c) {
    p.setPen(QPen(c.darker(140), s / 16));
    p.setBrush(c);
    p.drawEllipse(QRectF(s * 0.2, s * 0.2, s * 0.6, s * 0.6));
}

void letter(QPainter& p, qreal s, const QString& text, const QColor& back) {
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(std::max(1, int(s * 0.62)));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, text);
}

void drawSquare(QPainter& p, Picture which, qreal s) {
    switch (which) {
    case Picture::AppIcon: {
        QLinearGradient g(0, 0, s, s);
        g.setColorAt(0, kLightBlue);
        g.setColorAt(1, kBlue);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.18, s * 0.18);
        p.save();
        p.translate(s * 0.1, s * 0.14);
        p.scale(0.5, 0.5);
        arrow(p, s, true, Qt::white);
        p.restore();
        p.save();
        p.translate(s * 0.42, s * 0.36);
        p.scale(0.5, 0.5);
        arrow(p, s, false, kYellow);
        p.restore();
        break;
    }
    case Picture::NewSite:
        globe(p, s, kLightBlue.lighter(115));
        p.setPen(QPen(kGreen, s / 8));
        p.drawLine(QPointF(s * 0.72, s * 0.56), QPointF(s * 0.72, s * 0.96));
        p.drawLine(QPointF(s * 0.52, s * 0.76), QPointF(s * 0.92, s * 0.76));
        break;
    case Picture::Site: globe(p, s, kLightBlue); break;
    case Picture::Folder: folder(p, s); break;
    case Picture::File: page(p, s); break;
    case Picture::Disconnected: dot(p, s, kGrey.lighter(130)); break;
    case Picture::Connected: dot(p, s, kGreen); break;
    case Picture::Upload: arrow(p, s, true, kBlue); break;
    case Picture::Download: arrow(p, s, false, kGreen); break;
    case Picture::Day:
        p.setPen(QPen(kGrey, s / 16));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(s * 0.12, s * 0.16, s * 0.76, s * 0.72));
        p.setBrush(kRed);
        p.drawRect(QRectF(s * 0.12, s * 0.16, s * 0.76, s * 0.2));
        break;
    case Picture::Category:
        folder(p, s);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(s * 0.56, s * 0.5, s * 0.3, s * 0.3));
        break;
    case Picture::Task:
        page(p, s);
        p.setPen(QPen(kGreen, s / 10));
        p.drawLine(QPointF(s * 0.3, s * 0.6), QPointF(s * 0.45, s * 0.75));
        p.drawLine(QPointF(s * 0.45, s * 0.75), QPointF(s * 0.72, s * 0.4));
        break;
    case Picture::Help: letter(p, s, QStringLiteral("?"), kBlue); break;
    case Picture::Options: letter(p, s, QStringLiteral("O"), kGrey); break;
    case Picture::Refresh: letter(p, s, QStringLiteral("R"), kGreen); break;
    case Picture::ViewStyle:
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                p.drawRect(QRectF(s * (0.12 + c * 0.42), s * (0.12 + r * 0.42), s * 0.34, s * 0.34));
        break;
    case Picture::Bookmark: {
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        QPolygonF poly;
        poly << QPointF(s * 0.25, s * 0.06) << QPointF(s * 0.75, s * 0.06) << QPointF(s * 0.75, s * 0.94)
             << QPointF(s * 0.5, s * 0.7) << QPointF(s * 0.25, s * 0.94);
        p.drawPolygon(poly);
        break;
    }
    case Picture::Delete:
        p.setPen(QPen(kRed, s / 7, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.2, s * 0.2), QPointF(s * 0.8, s * 0.8));
        p.drawLine(QPointF(s * 0.8, s * 0.2), QPointF(s * 0.2, s * 0.8));
        break;
    case Picture::Edit:
        p.setPen(QPen(kDarkYellow, s / 7, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.2, s * 0.8), QPointF(s * 0.8, s * 0.2));
        p.setPen(QPen(kGrey, s / 16));
        p.drawLine(QPointF(s * 0.1, s * 0.92), QPointF(s * 0.9, s * 0.92));
        break;
    case Picture::Up:
        folder(p, s);
        p.save();
        p.translate(s * 0.3, s * 0.3);
        p.scale(0.45, 0.45);
        arrow(p, s, true, kGreen);
        p.restore();
        break;
    case Picture::QuickConnect:
        p.setPen(Qt::NoPen);
        p.setBrush(kYellow);
        {
            QPolygonF bolt;
            bolt << QPointF(s * 0.55, s * 0.04) << QPointF(s * 0.2, s * 0.56) << QPointF(s * 0.46, s * 0.56)
                 << QPointF(s * 0.38, s * 0.96) << QPointF(s * 0.8, s * 0.4) << QPointF(s * 0.54, s * 0.4);
            p.drawPolygon(bolt);
        }
        break;
    case Picture::Stop:
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawRect(QRectF(s * 0.18, s * 0.18, s * 0.64, s * 0.64));
        break;
    case Picture::TopBarBack:
    case Picture::TopBarRight: break;
    }
}

}  // namespace

QPixmap picture(Picture which, int size) {
    size = std::max(1, size);
    if (which == Picture::TopBarBack) {
        // A narrow strip; the top bar stretches it over its width.
        QPixmap pm(8, size);
        QPainter p(&pm);
        QLinearGradient g(0, 0, 0, size);
        g.setColorAt(0, kLightBlue.lighter(120));
        g.setColorAt(1, kBlue);
        p.fillRect(pm.rect(), g);
        return pm;
    }
    if (which == Picture::TopBarRight) {
        QPixmap pm(size * 5, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        QPixmap logo = picture(Picture::AppIcon, size - 4);
        p.drawPixmap(2, 2, logo);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(std::max(1, size / 2));
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(size + 2, 0, size * 4 - 4, size), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("Ostrafen"));
        return pm;
    }
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    drawSquare(p, which, size);
    return pm;
}

QIcon icon(Picture which) {
    QIcon i;
    i.addPixmap(picture(which, 16));
    i.addPixmap(picture(which, 32));
    return i;
}

QAction* addToolButton(QToolBar* bar, Picture which, const QString& hint) {
    QAction* a = bar->addAction(icon(which), hint);
    a->setToolTip(hint);
    if (QWidget* w = bar->widgetForAction(a)) {
        w->setAccessibleName(hint);
        w->setObjectName(hint);
    }
    return a;
}

}  // namespace ui
