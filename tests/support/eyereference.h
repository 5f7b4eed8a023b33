// The eye diagram drawn the plain, slow way: the scene cleared, one rectangle
// item per cell (4096) in the colour of its level, six lines, the strip and
// three text items. The window draws the same picture with one scaled image;
// tst_eye compares the two pixel for pixel, bench_eye times both. The levels
// themselves are checked cell by cell against worked examples in tst_eye.
#pragma once
#include "eye/eyelevels.h"

#include <QFont>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPen>

namespace reference {

struct PlotInputs {
    eye::Levels levels{};
    QString lines[3];  // the three text lines under the eye
    QFont lastLineFont; // the third line's font (it shrinks to fit the picture's width)
    int plotHeight = 300;
};

inline void plotEye(QGraphicsScene *scene, const PlotInputs &in)
{
    scene->clear();
    QPen pen(QColor(255, 0, 255, 0));
    QBrush brush(Qt::SolidPattern);
    for (int c = 0; c < 64; ++c) {
        for (int j = 0; j < 64; ++j) {
            const int L = in.levels[size_t(eye::cellIndex(c, j))];
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
    for (int i = 0; i < 3; ++i)
        scene->addText(in.lines[i], i == 2 ? in.lastLineFont : QFont())->setPos(0, 252 + 14 * i);
}

} // namespace reference
