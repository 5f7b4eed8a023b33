#include "bert/testlog.h"

#include "bert/modelconfig.h"

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

QString logHeader(int code, const QDate &date, const QString &rxUnits)
{
    return QLatin1String(modelRow(code).logWords) + date.toString(Qt::TextDate) +
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

RowDecision decideRow(const QTime &lastRow, const QTime &now)
{
    if (!lastRow.isValid())
        return {false, true};
    return {!(lastRow.addMSecs(500) < now), lastRow.addMSecs(1000) < now};
}

} // namespace bert
