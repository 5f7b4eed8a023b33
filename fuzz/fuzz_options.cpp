// corvane's command line: any bytes, split at NUL into arguments, must parse
// to options, help, or one usage error, and never crash or hang.
#include "app/display.h"
#include "app/options.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QStringList models{QStringLiteral("Corvane NanoTa"),
                                    QStringLiteral("Corvane NanoTb"),
                                    QStringLiteral("Corvane Nano Span")};
    // A first byte 0x01 stands for a program built without the simulator.
    const bool withoutSimulator = size > 0 && data[0] == 1;
    const QStringList offered = withoutSimulator ? QStringList() : models;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + withoutSimulator,
                           int(size) - withoutSimulator);
    QStringList arguments{QStringLiteral("corvane")};
    for (const QByteArray &word : bytes.split('\0'))
        arguments << QString::fromUtf8(word);

    AppOptions options;
    const ParseResult r = parseOptions(arguments, offered, &options);
    switch (r.action) {
    case ParseResult::Run:
        if (!r.output.isEmpty() || options.durationMs < 0 || options.maxBer < 0.0 ||
            options.maxBer > 1.0 || std::isnan(options.maxBer))
            __builtin_trap();
        for (const QString &model : qAsConst(options.simulated)) {
            if (!offered.contains(model))
                __builtin_trap();
        }
        if (!options.headless && (options.all || !options.instruments.isEmpty() ||
                                  !options.logFile.isEmpty() || options.durationMs))
            __builtin_trap();
        break;
    case ParseResult::ExitUsage:
        if (!r.output.startsWith(QLatin1String("corvane: ")) ||
            !r.output.endsWith(QLatin1String("\nTry 'corvane --help' for more information.\n")))
            __builtin_trap();
        break;
    case ParseResult::ExitOk:
        if (r.output.isEmpty())
            __builtin_trap();
        break;
    }
    QString why;
    if (!displayAvailable(arguments, &why) && !why.startsWith(QLatin1String("no display")))
        __builtin_trap();
    return 0;
}
