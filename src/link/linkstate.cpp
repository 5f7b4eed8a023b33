#include "link/linkstate.h"

#include "link/commandframe.h"
#include "link/protocol.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QThread>

void LinkState::send()
{
    if (skip) {
        skip = 0;
        return;
    }
    frameCommand(buffer, side);
    if (!connected || !port)
        return;
    const QByteArray bytes = buffer.toUtf8();
    const int nul = bytes.indexOf('\0');
    port->write(nul < 0 ? bytes : bytes.left(nul));
    waitWritten();
}

void LinkState::writeRaw(const QString &text)
{
    if (!port)
        return;
    port->write((text + QLatin1String(proto::LineEnd)).toLocal8Bit());
    waitWritten();
}

void LinkState::waitWritten()
{
    port->flush();
    // Once everything is written, waitForBytesWritten would block its whole
    // time-out and report failure; wait only while bytes remain.
    QDeadlineTimer deadline(proto::WriteWaitMs);
    while (port->isOpen() && port->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port->waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
}

QByteArray LinkState::collectFor(int ms)
{
    QByteArray got;
    QDeadlineTimer deadline(ms);
    if (!port || !port->isOpen()) {
        QThread::msleep(ulong(ms));
        return got;
    }
    got += port->readAll();
    while (!deadline.hasExpired()) {
        if (port->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            got += port->readAll();
        else if (!port->isOpen() || port->error() == QSerialPort::ReadError ||
                 port->error() == QSerialPort::ResourceError)
            break;
    }
    got += port->readAll();
    return got;
}
