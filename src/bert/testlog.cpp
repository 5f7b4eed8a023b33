#include "bert/testlog.h"

#include "bert/measurementrecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>


namespace bert {

QString patternName(char code)
{
    switch (code) {
    case '1': return QStringLiteral("PRBS11");
    case '2': return QStringLiteral("PRBS23");
    case '3': return QStringLiteral("PRBS31");
    case '5': return QStringLiteral("PRBS15");
    case '7': return QStringLiteral("PRBS7");
    case '6': return QStringLiteral("PRBS63");
    case '8': return QStringLiteral("PRBS58");
    case '9': return QStringLiteral("PRBS9");
    case 'C': return QStringLiteral("Custom");
    case 'D': return QStringLiteral("DCD");
    case 'J': return QStringLiteral("CJTPAT");
    case 'K': return QStringLiteral("K28.5");
    case 'L': return QStringLiteral("Loopback");
    case 'R': return QStringLiteral("CRPAT");
    case 'S': return QStringLiteral("CSPAT");
    default: return QString();
    }
}

QString logHeader(const Model &model, const QDate &date, const QString &rxUnits)
{
    return model.logWords + date.toString(Qt::TextDate) +
           QStringLiteral("\r\nTime, Rate, Pattern, Temp (C), Rx (") + rxUnits +
           QStringLiteral("), Count, Errors, BER");
}

QString logRow(const QTime &time, const LogFields &f)
{
    return QStringLiteral("\r\n") + time.toString(Qt::TextDate) +
           QString::asprintf(", %0.0f, ", double(f.rateBps)) + patternName(f.pattern) +
           QStringLiteral(", ") + f.temperature + QStringLiteral(", ") + f.rx +
           QStringLiteral(", ") + f.count + QStringLiteral(", ") + f.errors + QStringLiteral(", ") +
           f.ber;
}

QByteArray jsonRow(const QDateTime &when, const Model &model, const Measurement &m)
{
    const auto power = [](double dbm) {
        return powerOutOfRange(dbm) ? QJsonValue(QJsonValue::Null) : QJsonValue(dbm);
    };
    QJsonObject o;
    o.insert(QStringLiteral("time"), when.toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("rate_bps"), double(m.rateBps));
    o.insert(QStringLiteral("pattern"), patternName(m.pattern));
    o.insert(QStringLiteral("bits"), double(m.bits));
    o.insert(QStringLiteral("errors"), double(m.errors));
    // The counts are exact in the record; the rate of errors is worked out
    // in double precision here (the window shows it to four digits).
    o.insert(QStringLiteral("ber"), m.bits > 0 ? double(m.errors) / double(m.bits) : 0.0);
    if (model.rxShowsRate) {
        o.insert(QStringLiteral("rx_dbm"), QJsonValue::Null);
        o.insert(QStringLiteral("tx_dbm"), QJsonValue::Null);
        o.insert(QStringLiteral("temperature_c"), QJsonValue::Null);
    } else {
        o.insert(QStringLiteral("rx_dbm"), power(m.rxDbm));
        o.insert(QStringLiteral("tx_dbm"), power(m.txDbm));
        o.insert(QStringLiteral("temperature_c"), m.temperatureC);
    }
    // The record carries hundredths of a nanometre.
    o.insert(QStringLiteral("wavelength_nm"), std::round(double(m.wavelengthNm) * 100) / 100);
    const bool known = m.lampCode >= 1 && m.lampCode <= 3;
    o.insert(QStringLiteral("signal"), known ? QJsonValue(m.lampCode != 1) : QJsonValue());
    o.insert(QStringLiteral("sync"), known ? QJsonValue(m.lampCode == 2) : QJsonValue());
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

RowDecision decideRow(const QTime &lastRow, const QTime &now)
{
    if (!lastRow.isValid())
        return {false, true};
    return {!(lastRow.addMSecs(500) < now), lastRow.addMSecs(1000) < now};
}

} // namespace bert
