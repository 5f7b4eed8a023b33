// Draws every picture of the program's resource bundle (lamps, splash, logo,
// button and window icons) and writes them into the folder named on the
// command line.  Only QtGui is used, and text is set in the default sans
// family, so the output does not depend on any particular font being
// installed.
//
//   drawresources <output folder>

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <QtMath>

#include <cstdio>

namespace {

QImage blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void smooth(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QFont sans(qreal pixelSize, int weight = QFont::Bold)
{
    QFont f;
    f.setStyleHint(QFont::SansSerif, QFont::PreferAntialias);
    f.setFamily(QStringLiteral("Sans Serif"));
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(weight);
    return f;
}

// Outline of a text, centred on the given point (by its ink, not its metrics).
QPainterPath textPath(const QString &text, const QFont &font, QPointF centre)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    path.translate(centre - box.center());
    return path;
}

// Outline of a text scaled down, if needed, to fit the box and centred in it.
QPainterPath fittedText(const QString &text, const QFont &font, const QRectF &box)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    const qreal scale = qMin(1.0, qMin(box.width() / ink.width(), box.height() / ink.height()));
    QTransform t;
    t.translate(box.center().x(), box.center().y());
    t.scale(scale, scale);
    t.translate(-ink.center().x(), -ink.center().y());
    return t.map(path);
}

// Round lamp: dark rim, body with a radial shade, soft highlight upper left.
QImage lamp(QColor body)
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    const QPointF c(s / 2.0, s / 2.0);

    QRadialGradient rim(c, 31);
    rim.setColorAt(0.80, QColor(60, 60, 60));
    rim.setColorAt(0.93, QColor(150, 150, 150));
    rim.setColorAt(1.00, QColor(70, 70, 70));
    p.setPen(Qt::NoPen);
    p.setBrush(rim);
    p.drawEllipse(c, 31, 31);

    QRadialGradient shade(QPointF(27, 25), 30, QPointF(24, 22));
    shade.setColorAt(0.0, body.lighter(150));
    shade.setColorAt(0.55, body);
    shade.setColorAt(1.0, body.darker(220));
    p.setBrush(shade);
    p.drawEllipse(c, 26, 26);

    QRadialGradient glow(QPointF(25, 20), 15);
    glow.setColorAt(0.0, QColor(255, 255, 255, 220));
    glow.setColorAt(0.6, QColor(255, 255, 255, 70));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(glow);
    p.drawEllipse(QRectF(11, 8, 30, 22));
    return img;
}

// One cycle of an eye-diagram trace set inside the rectangle r.
void eyeTraces(QPainter &p, const QRectF &r, const QColor &colour, qreal width)
{
    const qreal top = r.top(), bottom = r.bottom();
    const qreal x0 = r.left(), x1 = r.right();
    const qreal w = x1 - x0;
    p.setBrush(Qt::NoBrush);
    for (int k = 0; k < 6; ++k) {
        const qreal jitter = (k - 2.5) * w * 0.012;
        const qreal hi = top + (k % 3) * (bottom - top) * 0.02;
        const qreal lo = bottom - (k % 2) * (bottom - top) * 0.02;
        QColor c = colour;
        c.setAlpha(150 + 20 * (k % 3));
        p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
        QPainterPath rise, fall, high, low;
        // transitions crossing at one third and two thirds of the width
        rise.moveTo(x0, lo);
        rise.cubicTo(x0 + w * 0.18 + jitter, lo, x0 + w * 0.15 + jitter, hi, x0 + w * 0.33 + jitter,
                     hi);
        rise.lineTo(x0 + w * 0.67 + jitter, hi);
        rise.cubicTo(x0 + w * 0.85 + jitter, hi, x0 + w * 0.82 + jitter, lo, x1, lo);
        fall.moveTo(x0, hi);
        fall.cubicTo(x0 + w * 0.18 + jitter, hi, x0 + w * 0.15 + jitter, lo, x0 + w * 0.33 + jitter,
                     lo);
        fall.lineTo(x0 + w * 0.67 + jitter, lo);
        fall.cubicTo(x0 + w * 0.85 + jitter, lo, x0 + w * 0.82 + jitter, hi, x1, hi);
        p.drawPath(rise);
        p.drawPath(fall);
    }
}

QImage eyeIcon()
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    QLinearGradient bg(0, 0, 0, s);
    bg.setColorAt(0, QColor(36, 48, 44));
    bg.setColorAt(1, QColor(8, 14, 12));
    p.setPen(QPen(QColor(90, 110, 100), 1.5));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, s - 4, s - 4), 10, 10);
    p.setPen(QPen(QColor(70, 90, 80), 1, Qt::DotLine));
    p.drawLine(QPointF(6, s / 2.0), QPointF(s - 6, s / 2.0));
    eyeTraces(p, QRectF(4, 16, s - 8, s - 32), QColor(60, 230, 90), 2.0);
    return img;
}

// The program's icon for the desktop (menus, task bar), in any size: the
// eye-diagram picture of the eye button on a rounded dark tile.
QImage appIcon(int s)
{
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    const qreal m = s / 32.0; // margins and strokes grow with the size
    QLinearGradient bg(0, 0, 0, s);
    bg.setColorAt(0, QColor(36, 48, 44));
    bg.setColorAt(1, QColor(8, 14, 12));
    p.setPen(QPen(QColor(90, 110, 100), qMax(1.0, 0.75 * m)));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(m, m, s - 2 * m, s - 2 * m), 5 * m, 5 * m);
    if (s >= 32) {
        p.setPen(QPen(QColor(70, 90, 80), qMax(1.0, 0.5 * m), Qt::DotLine));
        p.drawLine(QPointF(3 * m, s / 2.0), QPointF(s - 3 * m, s / 2.0));
    }
    eyeTraces(p, QRectF(2 * m, 8 * m, s - 4 * m, s - 16 * m), QColor(60, 230, 90),
              qMax(1.0, 1.0 * m));
    return img;
}

QImage lambdaIcon()
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    QRadialGradient bg(QPointF(26, 22), 40);
    bg.setColorAt(0, QColor(120, 170, 255));
    bg.setColorAt(1, QColor(20, 60, 150));
    p.setPen(QPen(QColor(15, 40, 100), 2));
    p.setBrush(bg);
    p.drawEllipse(QRectF(3, 3, s - 6, s - 6));
    // the letter lambda, drawn as strokes so it needs no particular font
    QPen pen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    QPainterPath stroke;
    stroke.moveTo(20, 14);
    stroke.quadTo(28, 12, 32, 24);
    stroke.lineTo(44, 50);
    p.drawPath(stroke);
    p.drawLine(QPointF(31, 30), QPointF(20, 50));
    return img;
}

QImage arrowIcon()
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    QPainterPath arrow;
    arrow.moveTo(6, 24);
    arrow.lineTo(34, 24);
    arrow.lineTo(34, 10);
    arrow.lineTo(58, 32);
    arrow.lineTo(34, 54);
    arrow.lineTo(34, 40);
    arrow.lineTo(6, 40);
    arrow.closeSubpath();
    QLinearGradient g(0, 10, 0, 54);
    g.setColorAt(0, QColor(110, 220, 110));
    g.setColorAt(1, QColor(20, 130, 40));
    p.setPen(QPen(QColor(10, 80, 25), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(arrow);
    return img;
}

QImage usbIcon()
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    // cable
    p.setPen(QPen(QColor(40, 40, 40), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 46), QPointF(32, 62));
    // moulded body
    QLinearGradient body(14, 0, 50, 0);
    body.setColorAt(0, QColor(70, 70, 75));
    body.setColorAt(0.5, QColor(120, 120, 128));
    body.setColorAt(1, QColor(55, 55, 60));
    p.setPen(QPen(QColor(25, 25, 30), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(17, 26, 30, 22), 4, 4);
    // metal shell
    QLinearGradient metal(16, 0, 48, 0);
    metal.setColorAt(0, QColor(170, 170, 175));
    metal.setColorAt(0.5, QColor(240, 240, 245));
    metal.setColorAt(1, QColor(150, 150, 155));
    p.setBrush(metal);
    p.drawRect(QRectF(20, 4, 24, 23));
    p.setBrush(QColor(40, 40, 45));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(24, 9, 5, 4));
    p.drawRect(QRectF(35, 9, 5, 4));
    // trident mark on the body
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 44), QPointF(32, 30));
    p.drawLine(QPointF(32, 38), QPointF(26, 34));
    p.drawLine(QPointF(32, 36), QPointF(38, 32));
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(26, 33.5), 1.6, 1.6);
    p.drawRect(QRectF(36.5, 30.5, 3, 3));
    QPainterPath tip;
    tip.moveTo(32, 28);
    tip.lineTo(29.5, 31.5);
    tip.lineTo(34.5, 31.5);
    tip.closeSubpath();
    p.drawPath(tip);
    return img;
}

QImage helpIcon()
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    QRadialGradient bg(QPointF(24, 20), 44);
    bg.setColorAt(0, QColor(130, 190, 255));
    bg.setColorAt(1, QColor(20, 80, 170));
    p.setPen(QPen(QColor(15, 50, 120), 2));
    p.setBrush(bg);
    p.drawEllipse(QRectF(3, 3, s - 6, s - 6));
    // question mark: hook, stem and dot as strokes
    QPen pen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath hook;
    hook.moveTo(21, 24);
    hook.cubicTo(21, 10, 43, 10, 43, 23);
    hook.cubicTo(43, 31, 32, 31, 32, 40);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(32, 50), 4.5, 4.5);
    return img;
}

QImage diskIcon()
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    QPainterPath shell;
    shell.moveTo(6, 8);
    shell.lineTo(50, 8);
    shell.lineTo(58, 16);
    shell.lineTo(58, 58);
    shell.lineTo(6, 58);
    shell.closeSubpath();
    QLinearGradient g(0, 8, 0, 58);
    g.setColorAt(0, QColor(70, 100, 170));
    g.setColorAt(1, QColor(25, 45, 100));
    p.setPen(QPen(QColor(15, 25, 60), 2, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(shell);
    // metal shutter
    p.setPen(QPen(QColor(90, 90, 95), 1));
    p.setBrush(QColor(200, 202, 208));
    p.drawRect(QRectF(16, 9, 30, 17));
    p.setBrush(QColor(40, 55, 95));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(36, 12, 6, 11));
    // label
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(13, 34, 38, 22));
    p.setPen(QPen(QColor(120, 140, 200), 1.5));
    for (int y = 40; y <= 50; y += 5)
        p.drawLine(QPointF(17, y), QPointF(47, y));
    return img;
}

QImage gearIcon()
{
    const int s = 64;
    QImage img = blank(s, s);
    QPainter p(&img);
    smooth(p);
    const QPointF c(s / 2.0, s / 2.0);
    const int teeth = 8;
    const qreal outer = 29, inner = 22;
    QPainterPath gear;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = (i / qreal(teeth * 4)) * 2 * M_PI - M_PI / (teeth * 2.0);
        const bool out = (i % 4 == 1) || (i % 4 == 2);
        const qreal r = out ? outer : inner;
        const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, 9, 9);
    gear = gear.subtracted(hole);
    QRadialGradient g(QPointF(24, 22), 40);
    g.setColorAt(0, QColor(215, 218, 225));
    g.setColorAt(1, QColor(95, 100, 110));
    p.setPen(QPen(QColor(50, 52, 60), 2, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(gear);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(80, 84, 92), 2));
    p.drawEllipse(c, 16, 16);
    return img;
}

// The program's wordmark: "Corvane" over a short eye-trace swoosh.
QImage logo()
{
    const int w = 242, h = 102;
    QImage img = blank(w, h);
    QPainter p(&img);
    smooth(p);
    QPainterPath word =
        fittedText(QStringLiteral("Corvane"), sans(64, QFont::Black), QRectF(8, 6, w - 16, 66));
    QLinearGradient g(0, 10, 0, 72);
    g.setColorAt(0, QColor(40, 110, 200));
    g.setColorAt(1, QColor(10, 40, 110));
    p.setPen(QPen(QColor(5, 25, 70), 1.5));
    p.setBrush(g);
    p.drawPath(word);
    // a single bit transition underneath, in the lamp green
    p.setBrush(Qt::NoBrush);
    QPainterPath bit;
    bit.moveTo(14, 92);
    bit.lineTo(84, 92);
    bit.cubicTo(100, 92, 98, 78, 114, 78);
    bit.lineTo(154, 78);
    bit.cubicTo(170, 78, 168, 92, 184, 92);
    bit.lineTo(228, 92);
    p.setPen(QPen(QColor(40, 170, 70), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(bit);
    return img;
}

QImage splash()
{
    const int w = 480, h = 300;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    smooth(p);
    QLinearGradient bg(0, 0, w * 0.4, h);
    bg.setColorAt(0, QColor(18, 34, 64));
    bg.setColorAt(1, QColor(4, 8, 18));
    p.fillRect(img.rect(), bg);
    // faint grid and eye traces in the background
    p.setPen(QPen(QColor(40, 60, 90, 120), 1));
    for (int x = 0; x < w; x += 30)
        p.drawLine(x, 0, x, h);
    for (int y = 0; y < h; y += 30)
        p.drawLine(0, y, w, y);
    eyeTraces(p, QRectF(-40, 150, w + 80, 110), QColor(50, 200, 90, 110), 2.5);

    QPainterPath word =
        textPath(QStringLiteral("Corvane"), sans(86, QFont::Black), QPointF(w / 2.0, 105));
    QLinearGradient wg(0, 60, 0, 150);
    wg.setColorAt(0, QColor(255, 255, 255));
    wg.setColorAt(1, QColor(150, 190, 240));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 140));
    p.drawPath(word.translated(3, 4));
    p.setBrush(wg);
    p.drawPath(word);

    p.setPen(QColor(200, 215, 235));
    p.setFont(sans(20, QFont::Normal));
    p.drawText(QRectF(0, 160, w, 30), Qt::AlignCenter, QStringLiteral("Bit error rate tester"));
    p.setPen(QColor(140, 220, 150));
    p.setFont(sans(14, QFont::Normal));
    p.drawText(QRectF(0, h - 40, w - 20, 24), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Starting\u2026"));
    return img;
}

// A licence badge of our own: "LGPLv3" on a rounded two-tone plate.
QImage lgplBadge()
{
    const int w = 147, h = 51;
    QImage img = blank(w, h);
    QPainter p(&img);
    smooth(p);
    const QRectF plate(1, 1, w - 2, h - 2);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(245, 245, 245));
    p.drawRoundedRect(plate, 8, 8);
    QPainterPath right;
    right.addRoundedRect(plate, 8, 8);
    QPainterPath cut;
    cut.addRect(QRectF(96, 0, w, h));
    right = right.intersected(cut);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 110, 60));
    p.drawPath(right);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.drawRoundedRect(plate, 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    p.drawPath(textPath(QStringLiteral("LGPL"), sans(30, QFont::Black), QPointF(49, h / 2.0)));
    p.setBrush(Qt::white);
    p.drawPath(textPath(QStringLiteral("v3"), sans(28, QFont::Black), QPointF(121, h / 2.0)));
    return img;
}

bool save(const QImage &img, const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    const bool jpeg = name.endsWith(QLatin1String(".jpg"));
    const bool ok = img.save(path, jpeg ? "JPG" : "PNG", jpeg ? 92 : -1);
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    // Text is drawn through the font system, which needs an application
    // object; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <resource folder> [<icon theme folder>]\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    bool ok = true;
    ok &= save(lamp(QColor(40, 200, 60)), dir, QStringLiteral("LED_Green.png"));
    ok &= save(lamp(QColor(220, 35, 30)), dir, QStringLiteral("LED_Red.png"));
    ok &= save(lamp(QColor(240, 200, 20)), dir, QStringLiteral("LED_Yellow.png"));
    ok &= save(lamp(QColor(140, 140, 140)), dir, QStringLiteral("LED_Grey.png"));
    ok &= save(splash(), dir, QStringLiteral("Splash.jpg"));
    ok &= save(logo(), dir, QStringLiteral("Logo.png"));
    ok &= save(eyeIcon(), dir, QStringLiteral("Eye-gr.png"));
    ok &= save(lambdaIcon(), dir, QStringLiteral("LambdaIcon.png"));
    ok &= save(arrowIcon(), dir, QStringLiteral("Arrow.png"));
    ok &= save(usbIcon(), dir, QStringLiteral("usb.png"));
    ok &= save(helpIcon(), dir, QStringLiteral("HelpIcon.png"));
    ok &= save(diskIcon(), dir, QStringLiteral("Disk.png"));
    ok &= save(gearIcon(), dir, QStringLiteral("Settings icon.png"));
    ok &= save(lgplBadge(), dir, QStringLiteral("lgplv3-147x51.png"));
    // The desktop icon in the sizes of the hicolor theme: <size>x<size>/apps/corvane.png.
    if (argc == 3) {
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QDir icons(QString::fromLocal8Bit(argv[2]));
            const QString sub = QStringLiteral("%1x%1/apps").arg(size);
            ok &= icons.mkpath(sub) && save(appIcon(size), QDir(icons.filePath(sub)),
                                            QStringLiteral("corvane.png"));
        }
    }
    return ok ? 0 : 1;
}
