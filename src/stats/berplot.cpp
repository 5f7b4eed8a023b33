#include "stats/berplot.h"

#include <QPen>
#include <algorithm>
#include <cmath>
#include <qwt_legend.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_engine.h>

namespace stats {

double timeAxisSpan(double seconds)
{
    double span = 60;
    while (span < seconds)
        span *= 2;
    return span;
}

double timeAxisStep(double span)
{
    static const double steps[] = {1,       2,       5,       10,      15,      30,     60,
                                   120,     300,     600,     900,     1800,    3600,   7200,
                                   10800,   21600,   43200,   86400,   172800,  345600, 604800,
                                   1209600, 2419200, 4838400, 9676800, 19353600};
    for (double s : steps)
        if (span / s <= 6)
            return s;
    return std::ceil(span / 6 / 86400) * 86400;
}

QString timeAxisLabel(double seconds, double span)
{
    const long long s = std::llround(seconds);
    if (span <= 3600)
        return QString::asprintf("%lld:%02lld", s / 60, s % 60);
    if (span <= 2 * 86400)
        return QString::asprintf("%lld:%02lld", s / 3600, s / 60 % 60);
    return QString::asprintf("%gd", seconds / 86400);
}

} // namespace stats

namespace {

class TimeScaleDraw : public QwtScaleDraw
{
public:
    double span = 60;
    QwtText label(double v) const override { return stats::timeAxisLabel(v, span); }
};

// Tick labels in the C locale: decades as "1e-12", counts as whole numbers.
class DecadeScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double v) const override { return stats::berChoiceText(v); }
};
class CountScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double v) const override { return QString::asprintf("%.0f", v); }
};

QString timeTitle(double span)
{
    if (span <= 3600)
        return BerPlot::tr("Time since start (min:s)");
    if (span <= 2 * 86400)
        return BerPlot::tr("Time since start (h:min)");
    return BerPlot::tr("Time since start (days)");
}

} // namespace

BerPlot::BerPlot(QWidget *parent) : QwtPlot(parent)
{
    setCanvasBackground(Qt::white);
    if (auto *c = qobject_cast<QwtPlotCanvas *>(canvas()))
        c->setFrameStyle(QFrame::Box | QFrame::Plain);
    insertLegend(new QwtLegend(), QwtPlot::BottomLegend);
    setAutoReplot(false);

    setAxisScaleEngine(yLeft, new QwtLogScaleEngine());
    setAxisScaleDraw(yLeft, new DecadeScaleDraw());
    setAxisScaleDraw(yRight, new CountScaleDraw());
    setAxisScaleDraw(xBottom, new TimeScaleDraw());
    enableAxis(yRight);
    setAxisTitle(yLeft, tr("BER"));
    setAxisTitle(yRight, tr("Errors"));
    QFont small = axisFont(xBottom);
    for (int axis : {int(yLeft), int(yRight), int(xBottom)}) {
        QwtText title = axisTitle(axis);
        title.setFont(small);
        setAxisTitle(axis, title);
    }

    auto *grid = new QwtPlotGrid();
    grid->setPen(QColor(220, 220, 220), 0, Qt::DotLine);
    grid->attach(this);

    m_errors = new QwtPlotCurve(tr("Errors"));
    m_errors->setStyle(QwtPlotCurve::Steps);
    m_errors->setPen(QColor(230, 140, 20), 1.5);
    m_errors->setYAxis(yRight);
    m_errors->attach(this);

    m_bound = new QwtPlotCurve();
    m_bound->setPen(QColor(30, 140, 60), 1.5, Qt::DashLine);
    m_bound->attach(this);

    m_ber = new QwtPlotCurve(tr("BER"));
    m_ber->setPen(QColor(20, 70, 200), 2);
    m_ber->attach(this);

    m_target = new QwtPlotMarker();
    m_target->setLineStyle(QwtPlotMarker::HLine);
    m_target->setLinePen(QColor(200, 30, 30), 1, Qt::DashDotLine);
    m_target->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_target->attach(this);

    showHistory(stats::BerHistory(), 1e-12, 0.95);
}

void BerPlot::showHistory(const stats::BerHistory &history, double targetBer, double goal)
{
    const QVector<stats::Record> points = history.points();
    QVector<QPointF> ber, bound, errors;
    ber.reserve(points.size());
    bound.reserve(points.size());
    errors.reserve(points.size());
    double low = targetBer, high = targetBer, maxErrors = 0;
    double lambdaFor = -1, lambda = 0; // the bound's Poisson mean for an error count
    for (const stats::Record &r : points) {
        const double x = double(r.tMs - history.first().tMs) / 1000.0;
        errors.append(QPointF(x, r.errors));
        maxErrors = std::max(maxErrors, r.errors);
        if (r.bits <= 0)
            continue;
        if (r.errors > 0) {
            ber.append(QPointF(x, r.ber()));
            low = std::min(low, r.ber());
            high = std::max(high, r.ber());
        }
        if (r.errors != lambdaFor) {
            lambda = stats::bitsForConfidence(r.errors, 1.0, goal);
            lambdaFor = r.errors;
        }
        const double b = lambda / r.bits;
        bound.append(QPointF(x, b));
        low = std::min(low, b);
        high = std::max(high, b);
    }
    m_ber->setSamples(ber);
    m_bound->setSamples(bound);
    m_errors->setSamples(errors);
    m_bound->setTitle(tr("BER bound (%1 %)").arg(std::lround(goal * 100)));

    m_target->setYValue(targetBer);
    m_target->setLabel(QwtText(tr("target %1").arg(stats::berChoiceText(targetBer))));

    // Whole decades around the data and the target, from 1e-18 to 1.
    const double top = std::min(0.0, std::ceil(std::log10(high) + 0.5));
    const double bottom = std::max(-18.0, std::min(std::floor(std::log10(low)) - 1, top - 3));
    setAxisScale(yLeft, std::pow(10.0, bottom), std::pow(10.0, top));
    setAxisScale(yRight, 0, std::max(10.0, std::ceil(maxErrors * 1.1)));

    const double last = points.isEmpty() ? 0 : errors.last().x();
    const double span = m_span = stats::timeAxisSpan(last);
    static_cast<TimeScaleDraw *>(axisScaleDraw(xBottom))->span = span;
    QwtText title(timeTitle(span));
    title.setFont(axisTitle(xBottom).font());
    setAxisTitle(xBottom, title);
    setAxisScale(xBottom, 0, span, stats::timeAxisStep(span));
    replot();
}

int BerPlot::redrawIntervalMs() const
{
    const double msPerPixel = m_span * 1000.0 / std::max(1, canvas()->width());
    return int(std::clamp(msPerPixel, 1000.0, 10000.0));
}
