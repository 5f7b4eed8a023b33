// Whatever a client of the metrics endpoint sends: bytes in chunks of varying
// size through the request parser and the scrape handler, without sockets.
// Besides not crashing, the session must never get stuck (bytes it cannot take
// while it has nothing to answer), every reply must be framed by a correct
// Content-Length, and nothing may follow a reply that closes the connection.
//
// Input: byte 0 sets the chunk sizes (0: all at once), byte 1 how many
// requests are answered per turn and whether the request times out at the
// end; the rest is the byte stream from the client.
#include "remote/metricsserver.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

QByteArray serialBytes;

QList<metrics::InstrumentFigures> figures()
{
    metrics::InstrumentFigures f;
    // The label comes from the input too, as UTF-16 (lone surrogates included).
    f.serial = QString::fromUtf16(reinterpret_cast<const char16_t *>(serialBytes.constData()),
                                  serialBytes.size() / 2);
    f.model = QStringLiteral("NanoTb");
    f.port = QStringLiteral("/dev/ttyACM0");
    f.connected = true;
    double bits = 0;
    if (serialBytes.size() >= 8)
        std::memcpy(&bits, serialBytes.constData(), 8);
    f.bits = bits;
    f.errors = -bits;
    f.ber = bits != 0 ? 1 / bits : bits;
    f.wavelengthNm = bits;
    f.confidence = bits;
    f.targetBer = bits;
    return {f};
}

// Checks the replies in out and removes them; false when one is malformed.
bool takeReplies(QByteArray &out, bool *closed)
{
    while (!out.isEmpty()) {
        if (*closed || !out.startsWith("HTTP/1.1 "))
            return false;
        const int end = out.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QByteArray head = out.left(end);
        const int at = head.indexOf("\r\nContent-Length: ");
        if (at < 0 || head.indexOf("\r\nContent-Length: ", at + 1) >= 0)
            return false;
        const int from = at + int(std::strlen("\r\nContent-Length: "));
        const int to = head.indexOf('\r', from);
        bool ok = false;
        const int length = head.mid(from, to < 0 ? -1 : to - from).toInt(&ok);
        if (!ok || length < 0 || out.size() < end + 4 + length)
            return false;
        *closed = head.contains("\r\nConnection: close");
        out.remove(0, end + 4 + length);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static metrics::ScrapeHandler handler(figures, QStringLiteral("2.61"),
                                          QStringLiteral("5.15.8"));
    const unsigned chunkSeed = data[0];
    const int budget = 1 + (data[1] & 3);
    const bool timeOutAtEnd = data[1] & 4;
    const char *stream = reinterpret_cast<const char *>(data + 2);
    const size_t length = size - 2;
    serialBytes = QByteArray(stream, int(std::min<size_t>(length, 24)));

    http::Session session([](const http::Request &r, http::Reply &reply) { handler(r, reply); });
    QByteArray out;
    bool closed = false;
    size_t at = 0;
    for (unsigned k = 0; at < length; ++k) {
        size_t chunk = chunkSeed == 0 ? length : 1 + (chunkSeed * (k + 7) * 31u) % 257u;
        chunk = std::min(chunk, length - at);
        size_t left = chunk;
        while (left > 0 && !session.closing()) {
            const int took = session.receive(stream + at + (chunk - left), int(left));
            left -= size_t(took);
            const int answered = session.answer(out, budget);
            if (took == 0 && answered == 0 && !session.closing())
                std::abort(); // stuck: no room, nothing to answer
            if (session.pending() && answered < budget && !session.closing())
                std::abort(); // a complete request left unanswered
            if (!takeReplies(out, &closed))
                std::abort();
        }
        at += chunk;
        if (session.closing()) {
            // Nothing more is taken or answered.
            if (session.receive("GET /metrics HTTP/1.1\r\n\r\n", 25) != 0 ||
                session.answer(out, 1) != 0 || !out.isEmpty())
                std::abort();
            break;
        }
    }
    while (session.pending()) {
        session.answer(out, budget);
        if (!takeReplies(out, &closed))
            std::abort();
    }
    if (timeOutAtEnd) {
        session.timedOut(out);
        if (!takeReplies(out, &closed) || !session.closing())
            std::abort();
    }
    return 0;
}
