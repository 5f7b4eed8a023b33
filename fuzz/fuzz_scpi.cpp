// The SCPI engine: whatever a remote client sends, in pieces of any size, with
// deferred replies and operations completing between pieces, must give
// well-formed reply lines and never crash, hang or hold more than a bounded
// amount of input.
//
// Each piece starts with a control byte: bits 0-5 give its length (1 to 64),
// bit 6 sends it 200 times (floods and overlong lines), bit 7 completes the
// pending deferred calls and ends the running operations after it. At the end
// the session is closed, before or after its last calls complete.
#include "remote/scpi.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using scpi::CallPtr;

struct Bench {
    scpi::CommandSet set;
    std::vector<CallPtr> held;
    std::vector<quint64> operations;
    QPointer<scpi::Session> session;
    qint64 value = 0;
    double number = 0;
    bool flag = false;
    QString text;

    Bench()
    {
        set.add("*IDN?", [](CallPtr c) { c->reply("CORVANE,FUZZ,0,1"); });
        set.add("*RST", [this](CallPtr c) {
            value = 0;
            c->done();
        });
        set.add("[SOURce]:VALue", 1, [this](CallPtr c) {
            if (c->integer(0, &value))
                c->done();
        });
        set.add("[SOURce]:VALue?", [this](CallPtr c) { c->reply(value); });
        set.add("SOURce:NUMBer", 1, 2, [this](CallPtr c) {
            if (c->number(0, &number) && (c->params().size() < 2 || c->number(1, &number)))
                c->done();
        });
        set.add("SOURce:NUMBer?", [this](CallPtr c) { c->reply(number); });
        set.add("OUTPut[:STATe]", 1, [this](CallPtr c) {
            if (c->boolean(0, &flag))
                c->done();
        });
        set.add("OUTPut[:STATe]?", [this](CallPtr c) { c->reply(int(flag)); });
        set.add("SYSTem:TEXT", 0, 3, [this](CallPtr c) {
            text = c->params().isEmpty() ? QString() : c->params().last().text();
            c->done();
        });
        set.add("SYSTem:TEXT?", [this](CallPtr c) { c->reply(scpi::quoted(text)); });
        set.add("FETCh:DEFerred?", [this](CallPtr c) { held.push_back(c); });
        set.add("FETCh:DEFerred", [this](CallPtr c) { held.push_back(c); });
        set.add("FETCh:FAIL?", [](CallPtr c) { c->fail(scpi::HardwareError.detail("\"x\"")); });
        set.add("FETCh:NONE?", [](CallPtr c) { c->replyNone(); });
        set.add("EYE:STARt", [this](CallPtr c) {
            operations.push_back(c->session()->beginOperation());
            c->done();
        });
    }

    // Completes what waits, as replies from the instrument would.
    void settle()
    {
        for (int round = 0; round < 1000 && (!held.empty() || !operations.empty()); ++round) {
            const std::vector<CallPtr> calls = std::move(held);
            held.clear();
            for (size_t i = 0; i < calls.size(); ++i) {
                if (!calls[i]->isQuery())
                    calls[i]->done();
                else if (i % 2)
                    calls[i]->reply(qint64(i));
                else
                    calls[i]->fail(scpi::ExecutionError);
            }
            for (quint64 id : operations) {
                if (session)
                    session->endOperation(id);
            }
            operations.clear();
            QCoreApplication::sendPostedEvents();
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_scpi";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Bench bench;

    auto session = std::make_unique<scpi::Session>(&bench.set);
    bench.session = session.get();
    QObject::connect(session.get(), &scpi::Session::output, [](const QByteArray &line) {
        if (line.isEmpty() || line.indexOf('\n') != line.size() - 1)
            __builtin_trap();
    });
    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        const size_t n = qMin<size_t>(size - at, (control & 0x3f) + 1);
        const QByteArray piece(reinterpret_cast<const char *>(data + at), int(n));
        at += n;
        for (int i = (control & 0x40) ? 200 : 1; i > 0; --i) {
            session->receive(piece);
            if (session->backlog() > scpi::MaxBacklog + 2 * scpi::MaxLineLength)
                __builtin_trap();
        }
        if (control & 0x80)
            bench.settle();
        QCoreApplication::sendPostedEvents();
    }
    if (size > 0 && (data[size - 1] & 1))
        session.reset(); // the client leaves with calls pending
    bench.settle();
    session.reset();
    bench.held.clear();
    bench.operations.clear();
    QCoreApplication::sendPostedEvents();
    return 0;
}
