// The history plot of the statistics window (built only with Qwt): the
// measured BER and the BER bound at the confidence goal on a log axis, the
// error count on a linear axis at the right, the target as a line, over a time
// axis that doubles as the run gets longer.
#pragma once
#include "bert/berstats.h"

#include <qwt_plot.h>

class QwtPlotCurve;
class QwtPlotMarker;

class BerPlot : public QwtPlot
{
    Q_OBJECT

public:
    explicit BerPlot(QWidget *parent = nullptr);
    void showHistory(const stats::BerHistory &history, double targetBer, double goal);
    // How long a redraw can wait before the curves could have moved by a pixel
    // along the time axis: the time one pixel stands for, from 1 to 10 s.
    int redrawIntervalMs() const;

private:
    double m_span = 60; // seconds shown by the time axis
    QwtPlotCurve *m_ber;
    QwtPlotCurve *m_bound;
    QwtPlotCurve *m_errors;
    QwtPlotMarker *m_target;
};

namespace stats {
// Span of the time axis in seconds for a run of `seconds`: 60 s, doubled
// until the run fits.
double timeAxisSpan(double seconds);
// Tick step in seconds for a span: a whole number of seconds, minutes, hours
// or days giving at most six steps.
double timeAxisStep(double span);
// Tick label of a time in seconds, for an axis of the given span:
// "m:ss" up to an hour, "h:mm" up to two days, "Nd" beyond.
QString timeAxisLabel(double seconds, double span);
} // namespace stats
