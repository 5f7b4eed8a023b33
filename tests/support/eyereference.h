// The eye diagram drawn the plain, slow way: every call clears the scene and
// adds one rectangle item per cell (4096), six lines, the strip and three text
// items, with each cell's level computed inline, step by step, apart from the
// program's own code.
//
// It is not part of the program: the pixel-identity test draws a scan both
// ways and compares the pictures, and bench/bench_eye.cpp times both ways.
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QFont>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPen>
#include <cstdlib>

namespace reference {

struct PlotInputs {
    QByteArray eyeData;
    int gain = 75;
    bool derivative = true;
    bool blackWhite = false;
    bool invert = false;
    QString scale = QStringLiteral("200mV"); // EyeScale's current text
    QString opening;                         // EyeButton's text, copied into EyeMeas
    double rateMbps = 0;                     // RateSetting (must not be 0: "inf" there)
    int plotHeight = 300;                    // PlotWindow's height
    QDateTime now;
};

inline void plotEye(QGraphicsScene *scene, const PlotInputs &in)
{
    // 1. Remove every item.
    scene->clear();
    // 2. (EyeMeas takes the EyeButton text: `in.opening`.)
    const QString eyeMeas = in.opening;

    QPen pen;
    pen.setColor(QColor(255, 0, 255, 0));
    QBrush brush(Qt::SolidPattern);

    // 3. The 4096 cells.
    const QByteArray &d = in.eyeData;
    const int size = d.size();
    int p = 0;
    const int g = in.gain;
    for (int c = 0; c < 64; ++c) {
        for (int j = 0; j < 64; ++j) {
            while (p < size && (d[p] == 0x0D || d[p] == 0x0A))
                ++p;
            const bool hasSample = p < size;
            const int s = hasSample ? (unsigned char)d[p] : -1;
            int L;
            if (!in.derivative) {
                const int v = hasSample ? 255 - s : 255;
                L = v * g / 50;
            } else if (j == 0) {
                const int v = hasSample ? s : 0;
                L = v * g / 5;
            } else {
                const int sv = hasSample ? s : 0;
                const int t = p - 1 < size ? (unsigned char)d[p - 1] : 0;
                L = std::abs(sv - t) * g / 5;
            }
            if (L >= 256)
                L = 255;
            if (in.invert)
                L = 255 - L;
            if (in.blackWhite)
                L = L >= 129 ? 255 : 0;
            brush.setColor(QColor(L, L, 0, 255));
            scene->addRect(4 * c, 4 * (63 - j), 4, 4, pen, brush);
            ++p;
        }
    }

    // 4. Centre lines, then the dashed quarter lines.
    pen.setColor(QColor(0, 153, 255, 128));
    pen.setWidth(1);
    pen.setStyle(Qt::SolidLine);
    scene->addLine(128, 0, 128, 256, pen);
    scene->addLine(0, 128, 256, 128, pen);
    pen.setDashPattern(QVector<qreal>{2, 4});
    scene->addLine(64, 0, 64, 256, pen);
    scene->addLine(192, 0, 192, 256, pen);
    scene->addLine(0, 64, 256, 64, pen);
    scene->addLine(0, 192, 256, 192, pen);

    // 5. The text strip.
    pen.setColor(QColor(130, 135, 144));
    brush.setColor(QColor(130, 135, 144));
    scene->addRect(0, 256, 256, in.plotHeight - 256, pen, brush);

    // 6-8. The three text lines.
    const QString line1 =
        QStringLiteral("Vert: ") + in.scale + QStringLiteral(" (") + eyeMeas.mid(10, 6) + ")";
    const QString line2 = QString::asprintf("Horz: 0.5UI, %0.6fGbps, %0.1fpS (", in.rateMbps / 1000,
                                            (1000000 / in.rateMbps) * 0.5) +
                          eyeMeas.mid(0, 7) + ")";
    const QString line3 =
        QStringLiteral("https://corvane.example     ") + in.now.toString(Qt::TextDate);
    scene->addText(line1, QFont())->setPos(0, 252);
    scene->addText(line2, QFont())->setPos(0, 266);
    scene->addText(line3, QFont())->setPos(0, 280);
}

} // namespace reference
