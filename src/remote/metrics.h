// The figures of the connected instruments as Prometheus scrapes them: the
// text exposition format (version 0.0.4) and OpenMetrics 1.0.0, built from
// snapshots so that the measurement code and the server never share state.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace metrics {

// What one instrument showed last. An empty optional is a value the program
// shows as dashes (unknown, out of range): it is left out of the scrape, as is
// any value that is not finite.
struct InstrumentFigures {
    QString serial, model, port;
    bool connected = false;
    bool stale = false;
    std::optional<double> bits, errors; // the instrument's own counters
    std::optional<double> ber;
    std::optional<double> rateBps;
    std::optional<double> rxDbm, txDbm;
    std::optional<double> temperatureC;
    std::optional<double> wavelengthNm; // served in meters
    std::optional<bool> signal, sync;
    std::optional<double> lastRecordUnixSeconds;
    std::optional<double> confidence; // 0..1, that the BER is below targetBer
    double targetBer = 1e-12;
};

enum class Format { Prometheus, OpenMetrics };

// Content-Type header values of the two formats.
const char *contentType(Format format);

// Builds the exposition text into buffers it keeps between calls, so that a
// scrape allocates nothing once the buffers have grown to the usual size.
class Writer
{
public:
    Writer();
    // The text for these instruments; valid until the next call.
    const QByteArray &render(const QList<InstrumentFigures> &instruments, Format format,
                             const QString &version, const QString &qtVersion);

private:
    void beginFamily(const char *name, const char *help, const char *type);
    void endFamily();
    void sample(const char *name, int instrument, const QByteArray &extraLabels, double value);

    QByteArray m_out;
    QByteArray m_labels;           // every instrument's label block, one after the other
    std::vector<int> m_labelStart; // start of each block in m_labels, and the end
    QByteArray m_extra;
    int m_familyStart = 0;
    bool m_familyHasSamples = false;
};

// One-shot form of Writer::render.
QByteArray exposition(const QList<InstrumentFigures> &instruments, Format format,
                      const QString &version, const QString &qtVersion);

// A sample value as it is written: integral values below 2^53 as plain
// integers, everything else in the shortest form that reads back to the same
// double. Writes at most 32 characters to out and returns their number.
int formatValue(double value, char *out);

// Appends text as a label value: UTF-8, with backslash, double quote and line
// feed escaped.
void appendLabelValue(QByteArray &out, const QString &text);

} // namespace metrics
