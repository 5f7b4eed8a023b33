// The eye scan without widgets: the scan reply parsed into a 64 x 64 raster of
// samples, the shading of every cell (its level), the three text
// lines under the plot and the CSV file saved beside a picture.
//
// Everything here is a pure function of its arguments: any bytes, any length,
// any gain (a fuzzer feeds it random input).
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>

namespace eye {

inline constexpr int Size = 64; // columns and rows of a scan
inline constexpr int Cells = Size * Size;
inline constexpr int LineBytes = Size + 2; // 64 samples, CR, LF
inline constexpr int ReplyBytes = Size * LineBytes;

// The maker's web address, on text line 3.
inline constexpr char MakerAddress[] = "https://corvane.example";

// Cells are kept in picture order: the top row first, each row from the left.
// Column c (order of arrival) and row j (counted from the bottom) sit at:
constexpr int cellIndex(int column, int row)
{
    return (Size - 1 - row) * Size + column;
}

// How the cells are shaded: the eye window's display controls.
struct Shading {
    int gain = 75;           // PlotGain, 1 to 100 in the window
    bool derivative = true;  // PlotDeriv
    bool blackWhite = false; // PlotBW
    bool invert = false;     // PlotInvert
};

// Level L (0 to 255) of every cell; the cell is drawn in colour (L, L, 0).
using Levels = std::array<quint8, Cells>;
Levels levels(const QByteArray &reply, const Shading &shading);

// The sample of every cell as it arrived, -1 for a cell the reply did not reach.
using Samples = std::array<qint16, Cells>;
Samples samples(const QByteArray &reply);

// Text line 1: "Vert: 200mV (123 mV)" from the scale selector's text and the
// eye-opening text "0.63 UI / 123 mV" (its characters 10 to 15).
QString verticalLine(const QString &scale, const QString &opening);
// Text line 2: "Horz: 0.5UI, 10.312500Gbps, 48.5pS (0.63 UI)"; at a rate of 0
// (or below) the half unit interval reads "----".
QString horizontalLine(double rateMbps, const QString &opening);
// Text line 3: the maker's address, five spaces, the date and time (Qt::TextDate).
QString makerLine(const QDateTime &now);

// What the CSV file's header line says about the scan.
struct ScanFacts {
    double rateMbps = 0;
    QString scale;   // the scale selector's text, e.g. "200mV"
    QString opening; // the eye-opening text, e.g. "0.63 UI / 123 mV"
    QDateTime when;
};
// The CSV file saved beside a picture: one header line, then 64 rows of 64
// sample values, the top row first, each row from the left; a cell without a
// sample is an empty field. Lines end in CR LF.
QByteArray scanCsv(const QByteArray &reply, const ScanFacts &facts);
// One CSV field, quoted when it holds a comma, a quote or a line end.
QString csvField(const QString &text);

} // namespace eye
