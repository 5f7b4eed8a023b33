// Every instrument of the process, and the one port search they share: a
// search asks only the ports no instrument holds, so searching again never
// disturbs an instrument another window (or a remote client) is using.
#pragma once
#include "link/portsearch.h"

#include <QList>
#include <QObject>
#include <QPointer>

namespace device {

class Instrument;

class InstrumentPool : public QObject
{
    Q_OBJECT

public:
    explicit InstrumentPool(QObject *parent = nullptr);
    ~InstrumentPool() override;

    // The pool of the running program (made on first use, owned by the
    // application object).
    static InstrumentPool *instance();

    // Whoever makes an instrument adds it here; a destroyed one leaves.
    void add(Instrument *instrument);
    // The instrument with a serial number or a port path; null if none.
    Instrument *find(const QString &serialOrPath) const;
    QList<Instrument *> instruments() const;
    QList<Instrument *> connectedInstruments() const;
    // The device paths held by instruments (connected, or closing).
    QStringList portsInUse() const;

    // Starts a search (with the side letter of the instrument that asks for
    // it); while one runs, a second request joins it. searchFinished() follows.
    void search(char side);
    bool searching() const { return m_search->running(); }
    // A search has ended at least once: lastSearch() holds its result.
    bool hasSearched() const { return m_searched; }
    const QVector<Found> &lastSearch() const { return m_search->results(); }
    // The entry of the last search for a path; null if none.
    const Found *found(const QString &path) const;

    // What remote clients see of the program (set by the remote-control
    // servers, shown by the windows): a line such as "SCPI on 127.0.0.1:5025"
    // (empty: no server runs), the number of clients connected, and a warning
    // to show (a server listening beyond this computer).
    struct RemoteStatus {
        QString server;
        int clients = 0;
        QString warning;
    };
    void setRemoteStatus(const RemoteStatus &status);
    const RemoteStatus &remoteStatus() const { return m_remote; }

signals:
    void remoteStatusChanged();
    void searchStarted();
    void searchFinished(const QVector<Found> &results);
    void instrumentsChanged();

private:
    PortSearch *m_search;
    RemoteStatus m_remote;
    bool m_searched = false;
    QList<QPointer<Instrument>> m_instruments;
};

} // namespace device
