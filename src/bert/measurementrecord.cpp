#include "bert/measurementrecord.h"

#include <algorithm>
#include <cmath>

namespace bert {
namespace {
quint32 be(const QByteArray &b, int at, int n)
{
    quint32 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}
} // namespace

double decodeLevel(quint16 raw)
{
    return (32768 - int(raw)) / 100.0;
}

float decodeCount(quint32 mantissa, quint8 exponent)
{
    return float(std::ldexp(double(mantissa), int(exponent) - 24));
}

bool decodeRecord(const QByteArray &b, const Model &model, Measurement *m)
{
    if (model.replyLength <= 0 || b.size() != model.replyLength || b.size() < 23)
        return false;
    m->rateBps = qint64(be(b, 0, 4)) * model.recordRateFactor;
    m->pattern = b[4];
    m->rxDbm = decodeLevel(quint16(be(b, 5, 2)));
    m->txDbm = decodeLevel(quint16(be(b, 7, 2)));
    m->wavelengthNm = float(be(b, 9, 3) / 100.0);
    m->txFlag = quint8(b[9]) == 1;
    m->temperatureC = decodeLevel(quint16(be(b, 12, 2)));
    const quint8 status = quint8(b[14]);
    m->lampCode = status & 0x0f;
    m->reidentify = status & 0x80;
    m->bits = decodeCount(be(b, 15, 3), quint8(b[18]));
    m->errors = decodeCount(be(b, 19, 3), quint8(b[22]));
    m->hasEye = b.size() >= 27;
    if (m->hasEye) {
        m->eyeWidth = quint8(b[23]);
        m->eyeHeight = quint8(b[24]);
        m->prbsInfo = quint8(b[25]);
    }
    return true;
}

bool plausible(const Model &model, const Measurement &m)
{
    if (m.errors > m.bits)
        return false;
    const qint64 top = topRateBps(model);
    return top <= 0 || m.rateBps <= 2 * top;
}

QString rxText(const Model &model, const Measurement &m)
{
    return model.rxShowsRate ? QString::asprintf("%0.3f", m.rateBps / 1000000.0)
                             : rxPowerText(m.rxDbm);
}

Readouts readouts(const Model &model, const Measurement &m)
{
    Readouts r;
    if (model.transceiverControls)
        r.temperature = temperatureText(m.temperatureC);
    r.rx = rxText(model, m);
    if (model.txSource == TxSource::Flag)
        r.tx = m.txFlag ? QStringLiteral("Tx: On") : QStringLiteral("Tx: Off");
    else
        r.tx = txPowerText(m.txDbm);
    r.wavelength = wavelengthText(m.wavelengthNm);
    r.count = countText(m.bits);
    r.errors = countText(m.errors);
    r.ber = berText(bitErrorRate(m.errors, m.bits));
    return r;
}

bool powerOutOfRange(double dbm)
{
    const float f = float(dbm);
    return f > 10.0f || f <= -40.0f;
}

QString rxPowerText(double dbm)
{
    return powerOutOfRange(dbm) ? QStringLiteral("----") : QString::asprintf("%0.1f", dbm);
}

QString txPowerText(double dbm)
{
    return powerOutOfRange(dbm) ? QStringLiteral("Tx: ----")
                                : QString::asprintf("Tx: %+0.1f dBm", dbm);
}

QString wavelengthText(float nm)
{
    return QString::asprintf("%0.2f nm", double(nm));
}

QString temperatureText(double c)
{
    return QString::asprintf("%0.1f", c);
}

QString countText(float count)
{
    return QString::asprintf("%0.3e", double(count));
}

QString elapsedText(float bits, double rateMbps)
{
    // Every step in single precision, split the way modff splits.
    const float t = rateMbps > 0 ? float(double(bits) / (rateMbps * 1000000.0) / 86400.0) : 0.0f;
    float days;
    const float dayFrac = std::modf(t, &days);
    float s = dayFrac * 86400.0f;
    float hours;
    const float hourFrac = std::modf(s / 3600.0f, &hours);
    s = hourFrac * 3600.0f;
    float minutes;
    const float minuteFrac = std::modf(s / 60.0f, &minutes);
    float seconds;
    std::modf(minuteFrac * 60.0f, &seconds);
    return QString::asprintf("%0.0fd %02.0f:%02.0f:%02.0f", double(days), double(hours),
                             double(minutes), double(seconds));
}

float bitErrorRate(float errors, float bits)
{
    return bits > 0 ? errors / bits : 0.0f;
}

QString berText(float ber)
{
    return ber == 0 ? QStringLiteral("0.000e-00") : QString::asprintf("%0.3e", double(ber));
}

QString eyeText(quint8 width, quint8 height)
{
    return QString::asprintf("%0.2f UI / %3.0f mV", width * 0.03125, height * 3.125);
}

QString prbsTitle(quint8 info)
{
    if (info > 100)
        return QString::asprintf("BERT: PRBS %u, Inverted", unsigned(info - 100));
    if (info >= 1 && info <= 99)
        return QString::asprintf("BERT: PRBS %u, Noninverted", unsigned(info));
    return QStringLiteral("BERT");
}

int patternPosition(const PatternLetters &letters, char code, int sliderMax)
{
    for (int i = 0; i < int(letters.size()); ++i) {
        if (letters[i] == code)
            return std::min(i, sliderMax);
    }
    return sliderMax;
}

} // namespace bert
