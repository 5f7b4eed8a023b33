// The serial line to one instrument: the only owner of its QSerialPort.
//
// It opens and closes the port, frames and writes commands (the command
// sender: the one-shot skip flag, the side letter after the command word, CR
// LF), writes raw lines, and hands out what arrives. Nothing here waits: a
// write is handed to the system at once and the rest goes out from the event
// loop. When the device goes away or the port fails, the port is closed at
// once and lost() says why in words a user understands.
#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

class Link : public QObject
{
    Q_OBJECT

public:
    explicit Link(QObject *parent = nullptr);
    ~Link() override;

    // Opens a device for reading and writing. On failure the reason (with a
    // hint for a permission problem) is returned and the link stays closed.
    bool open(const QString &path, QString *reason = nullptr);
    // Closes the port at once; nothing is reported.
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QString portName() const; // as the system names it, e.g. "pts/3" or "ttyACM0"

    // The connected flag: the command sender writes only while it is set
    // (and the port is open).
    void setConnected(bool connected) { m_connected = connected; }
    bool connected() const { return m_connected; }

    // The command sender. Drops the command when the skip flag is set;
    // otherwise frames it and writes it while connected. The framed text
    // stays in buffer().
    void send(const QString &command);
    // Writes text plus CR LF straight to the port in the local 8-bit
    // encoding: no side letter, no skip flag.
    void writeRaw(const QString &text);
    // The next send() drops its command.
    void skipNext() { m_skip = 1; }
    const QString &buffer() const { return m_buffer; }
    char side() const { return m_side; }
    void setSide(char side) { m_side = side == 'B' ? 'B' : 'A'; }

    qint64 bytesAvailable() const;
    QByteArray readAll();
    // Reads every waiting byte into buf (reused: no allocation once it is big
    // enough); returns how many there were.
    qint64 readInto(QByteArray &buf);
    // Drops everything waiting.
    void drain();

signals:
    void readyRead();
    // The port failed or the device went away; the port is closed already.
    void lost(const QString &reason);

private:
    void write(const QByteArray &bytes);
    void onError();

    QSerialPort *m_port = nullptr;
    QString m_path;
    QString m_buffer;
    int m_skip = 0;
    bool m_connected = false;
    char m_side = 'A';
};
