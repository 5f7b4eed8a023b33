#include "remote/metrics.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace metrics {

namespace {

// 2^53: above it not every integer is a double, so the exact integer form
// gives way to the round-trip one.
constexpr double exactIntegerLimit = 9007199254740992.0;

enum class Kind { Counter, Gauge };

// The per-instrument families, in the order they are served. Counters' names
// are written without "_total": the sample adds it, and so does the TYPE line
// of the Prometheus format (OpenMetrics names the family without it).
struct Family {
    const char *name;
    Kind kind;
    const char *help;
    std::optional<double> (*value)(const InstrumentFigures &);
};

std::optional<double> fromBool(const std::optional<bool> &b)
{
    if (!b)
        return std::nullopt;
    return *b ? 1.0 : 0.0;
}

const Family families[] = {
    {"corvane_bit_count", Kind::Counter,
     "Bits the instrument counted since its counters were last reset.",
     [](const InstrumentFigures &f) { return f.bits; }},
    {"corvane_error_count", Kind::Counter,
     "Bit errors the instrument counted since its counters were last reset.",
     [](const InstrumentFigures &f) { return f.errors; }},
    {"corvane_ber", Kind::Gauge, "Bit error rate: errors divided by bits counted.",
     [](const InstrumentFigures &f) { return f.ber; }},
    {"corvane_line_rate_bit_per_second", Kind::Gauge, "Line rate the instrument runs at.",
     [](const InstrumentFigures &f) { return f.rateBps; }},
    {"corvane_rx_power_dbm", Kind::Gauge, "Optical power received, in dBm.",
     [](const InstrumentFigures &f) { return f.rxDbm; }},
    {"corvane_tx_power_dbm", Kind::Gauge, "Optical power transmitted, in dBm.",
     [](const InstrumentFigures &f) { return f.txDbm; }},
    {"corvane_temperature_celsius", Kind::Gauge, "Transceiver temperature.",
     [](const InstrumentFigures &f) { return f.temperatureC; }},
    {"corvane_wavelength_meters", Kind::Gauge, "Transceiver wavelength.",
     [](const InstrumentFigures &f) -> std::optional<double> {
         if (!f.wavelengthNm)
             return std::nullopt;
         return *f.wavelengthNm / 1e9;
     }},
    {"corvane_signal", Kind::Gauge, "1 while the receiver sees a signal, 0 otherwise.",
     [](const InstrumentFigures &f) { return fromBool(f.signal); }},
    {"corvane_sync", Kind::Gauge, "1 while the receiver is in sync with the pattern, 0 otherwise.",
     [](const InstrumentFigures &f) { return fromBool(f.sync); }},
    {"corvane_stale", Kind::Gauge,
     "1 while the instrument's figures are stale (no fresh record came), 0 otherwise.",
     [](const InstrumentFigures &f) -> std::optional<double> { return f.stale ? 1.0 : 0.0; }},
    {"corvane_connected", Kind::Gauge, "1 while the instrument is connected, 0 otherwise.",
     [](const InstrumentFigures &f) -> std::optional<double> { return f.connected ? 1.0 : 0.0; }},
    {"corvane_last_record_timestamp_seconds", Kind::Gauge,
     "Unix time of the instrument's last measurement record.",
     [](const InstrumentFigures &f) { return f.lastRecordUnixSeconds; }},
};

void appendLiteral(QByteArray &out, const char *text)
{
    out.append(text, int(std::strlen(text)));
}

void appendValue(QByteArray &out, double value)
{
    char text[32];
    out.append(text, formatValue(value, text));
}

} // namespace

const char *contentType(Format format)
{
    return format == Format::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

int formatValue(double value, char *out)
{
    std::to_chars_result r;
    if (std::floor(value) == value && std::fabs(value) < exactIntegerLimit)
        r = std::to_chars(out, out + 32, static_cast<long long>(value));
    else
        r = std::to_chars(out, out + 32, value);
    return int(r.ptr - out);
}

void appendLabelValue(QByteArray &out, const QString &text)
{
    const QChar *c = text.constData();
    const QChar *end = c + text.size();
    for (; c != end; ++c) {
        uint u = c->unicode();
        if (u < 0x80) {
            switch (u) {
            case '\\': out.append("\\\\", 2); break;
            case '"': out.append("\\\"", 2); break;
            case '\n': out.append("\\n", 2); break;
            default: out.append(char(u));
            }
            continue;
        }
        if (c->isHighSurrogate() && c + 1 != end && c[1].isLowSurrogate()) {
            u = QChar::surrogateToUcs4(*c, c[1]);
            ++c;
        } else if (c->isSurrogate()) {
            u = 0xfffd; // a lone half of a pair: the replacement character
        }
        char bytes[4];
        int n;
        if (u < 0x800) {
            bytes[0] = char(0xc0 | (u >> 6));
            bytes[1] = char(0x80 | (u & 0x3f));
            n = 2;
        } else if (u < 0x10000) {
            bytes[0] = char(0xe0 | (u >> 12));
            bytes[1] = char(0x80 | ((u >> 6) & 0x3f));
            bytes[2] = char(0x80 | (u & 0x3f));
            n = 3;
        } else {
            bytes[0] = char(0xf0 | (u >> 18));
            bytes[1] = char(0x80 | ((u >> 12) & 0x3f));
            bytes[2] = char(0x80 | ((u >> 6) & 0x3f));
            bytes[3] = char(0x80 | (u & 0x3f));
            n = 4;
        }
        out.append(bytes, n);
    }
}

Writer::Writer()
{
    // reserve() also keeps the buffers when they are emptied with resize(0).
    m_out.reserve(8192);
    m_labels.reserve(1024);
    m_extra.reserve(64);
}

void Writer::beginFamily(const char *name, const char *help, const char *type)
{
    m_familyStart = m_out.size();
    m_familyHasSamples = false;
    appendLiteral(m_out, "# HELP ");
    appendLiteral(m_out, name);
    m_out.append(' ');
    appendLiteral(m_out, help);
    appendLiteral(m_out, "\n# TYPE ");
    appendLiteral(m_out, name);
    m_out.append(' ');
    appendLiteral(m_out, type);
    m_out.append('\n');
}

// A family without a single sample is left out altogether.
void Writer::endFamily()
{
    if (!m_familyHasSamples)
        m_out.resize(m_familyStart);
}

void Writer::sample(const char *name, int instrument, const QByteArray &extraLabels, double value)
{
    appendLiteral(m_out, name);
    m_out.append('{');
    m_out.append(m_labels.constData() + m_labelStart[size_t(instrument)],
                 m_labelStart[size_t(instrument) + 1] - m_labelStart[size_t(instrument)]);
    m_out.append(extraLabels);
    appendLiteral(m_out, "} ");
    appendValue(m_out, value);
    m_out.append('\n');
    m_familyHasSamples = true;
}

const QByteArray &Writer::render(const QList<InstrumentFigures> &instruments, Format format,
                                 const QString &version, const QString &qtVersion)
{
    const bool om = format == Format::OpenMetrics;
    m_out.resize(0);

    // Each instrument's labels are escaped once, not once per family.
    m_labels.resize(0);
    m_labelStart.clear();
    for (const InstrumentFigures &f : instruments) {
        m_labelStart.push_back(m_labels.size());
        m_labels.append("serial=\"");
        appendLabelValue(m_labels, f.serial);
        m_labels.append("\",model=\"");
        appendLabelValue(m_labels, f.model);
        m_labels.append("\",port=\"");
        appendLabelValue(m_labels, f.port);
        m_labels.append('"');
    }
    m_labelStart.push_back(m_labels.size());

    // Build information; OpenMetrics has a type of its own for it.
    beginFamily(om ? "corvane_build" : "corvane_build_info",
                "Version of corvane and of the Qt it runs on; always 1.", om ? "info" : "gauge");
    appendLiteral(m_out, "corvane_build_info{version=\"");
    appendLabelValue(m_out, version);
    appendLiteral(m_out, "\",qt=\"");
    appendLabelValue(m_out, qtVersion);
    appendLiteral(m_out, "\"} 1\n");

    char name[64];
    for (const Family &family : families) {
        const bool counter = family.kind == Kind::Counter;
        std::snprintf(name, sizeof name, "%s%s", family.name, counter ? "_total" : "");
        beginFamily(om ? family.name : name, family.help, counter ? "counter" : "gauge");
        for (int i = 0; i < instruments.size(); ++i) {
            const std::optional<double> v = family.value(instruments.at(i));
            // Counters never go below zero; a negative count is no count.
            if (!v || !std::isfinite(*v) || (counter && *v < 0))
                continue;
            m_extra.resize(0);
            sample(name, i, m_extra, *v);
        }
        endFamily();
    }

    beginFamily("corvane_confidence_ratio",
                "Confidence (0 to 1) that the bit error rate is below the target.", "gauge");
    for (int i = 0; i < instruments.size(); ++i) {
        const InstrumentFigures &f = instruments.at(i);
        if (!f.confidence || !std::isfinite(*f.confidence) || !std::isfinite(f.targetBer))
            continue;
        m_extra.resize(0);
        m_extra.append(",target=\"");
        appendValue(m_extra, f.targetBer);
        m_extra.append('"');
        sample("corvane_confidence_ratio", i, m_extra, *f.confidence);
    }
    endFamily();

    if (om)
        appendLiteral(m_out, "# EOF\n");
    return m_out;
}

QByteArray exposition(const QList<InstrumentFigures> &instruments, Format format,
                      const QString &version, const QString &qtVersion)
{
    Writer writer;
    return writer.render(instruments, format, version, qtVersion);
}

} // namespace metrics
