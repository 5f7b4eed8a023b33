// The eye diagram drawn the plain, slow way the documents describe it: the
// scene cleared, one rectangle item per cell (4096) with its level worked out
// inline, six lines, the strip and three text items. Not the program's code:
// tst_eye compares its picture with the program's, bench_eye times both.
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
    bool derivative = true, blackWhite = false, invert = false;
    QString scale = QStringLiteral("200mV"); // EyeScale's text
    QString opening;                         // EyeButton's text
    double rateMbps = 0;                     // not 0
    int plotHeight = 300;
    QDateTime now;
};

inline void plotEye(QGraphicsScene *scene, const PlotInputs &in)
{
    scene->clear();
    QPen pen(QColor(255, 0, 255, 0));
    QBrush brush(Qt::SolidPattern);
    const QByteArray &d = in.eyeData;
    int p = 0;
    for (int c = 0; c < 64; ++c) {
        for (int j = 0; j < 64; ++j, ++p) {
            while (p < d.size() && (d[p] == '\r' || d[p] == '\n'))
                ++p;
            const int s = p < d.size() ? uchar(d[p]) : -1; // -1: no sample
            int L;
            if (!in.derivative)
                L = (s < 0 ? 255 : 255 - s) * in.gain / 50;
            else if (j == 0)
                L = (s < 0 ? 0 : s) * in.gain / 5;
            else
                L = std::abs((s < 0 ? 0 : s) - (p - 1 < d.size() ? uchar(d[p - 1]) : 0)) * in.gain /
                    5;
            L = L >= 256 ? 255 : L;
            L = in.invert ? 255 - L : L;
            L = in.blackWhite ? (L >= 129 ? 255 : 0) : L;
            brush.setColor(QColor(L, L, 0, 255));
            scene->addRect(4 * c, 4 * (63 - j), 4, 4, pen, brush);
        }
    }
    pen = QPen(QColor(0, 153, 255, 128), 1);
    scene->addLine(128, 0, 128, 256, pen);
    scene->addLine(0, 128, 256, 128, pen);
    pen.setDashPattern({2, 4});
    for (int at : {64, 192}) {
        scene->addLine(at, 0, at, 256, pen);
        scene->addLine(0, at, 256, at, pen);
    }
    pen.setColor(QColor(130, 135, 144));
    scene->addRect(0, 256, 256, in.plotHeight - 256, pen, QBrush(QColor(130, 135, 144)));
    const QString lines[] = {"Vert: " + in.scale + " (" + in.opening.mid(10, 6) + ")",
                             QString::asprintf("Horz: 0.5UI, %0.6fGbps, %0.1fpS (",
                                               in.rateMbps / 1000, (1000000 / in.rateMbps) * 0.5) +
                                 in.opening.mid(0, 7) + ")",
                             "https://corvane.example     " + in.now.toString(Qt::TextDate)};
    for (int i = 0; i < 3; ++i)
        scene->addText(lines[i], QFont())->setPos(0, 252 + 14 * i);
}

} // namespace reference
