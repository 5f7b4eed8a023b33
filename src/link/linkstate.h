// The link to the instrument that every window shares: the one serial port,
// the command buffer and the flags that take turns on it.
#pragma once
#include <QByteArray>
#include <QString>

class QSerialPort;

class LinkState
{
public:
    QSerialPort *port = nullptr; // owned by the main window (Qt child)
    QString buffer;              // the command being sent; framed in place
    int connected = 0;           // nonzero while the port is open
    int skip = 0;                // drop the next command once
    char side = 'A';             // 'B' inserts the side letter after the command word
    bool pausePolling = false;   // a secondary window has the port to itself
    int pollInterval = 100;      // ms between a measurement request and its read

    // The command sender: drops one command when the skip flag is set, frames the
    // buffer (side letter, CR LF), and writes it only while connected.
    void send();
    void send(const QString &command)
    {
        buffer = command;
        send();
    }

    // Writes text plus CR LF straight to the port, in the local 8-bit encoding:
    // no side letter, no skip flag, no connected check.
    void writeRaw(const QString &text);

    // Blocks for ms milliseconds while collecting whatever the port receives.
    // A plain sleep would not do: the port fills its buffer only while waiting
    // inside its own calls or in the event loop.
    QByteArray collectFor(int ms);

private:
    void waitWritten();
};
