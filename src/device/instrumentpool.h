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

    // Instruments register themselves when made; a destroyed one leaves.
    void add(Instrument *instrument);
    QList<Instrument *> instruments() const;
    QList<Instrument *> connectedInstruments() const;
    // The device paths held by instruments (connected, or closing).
    QStringList portsInUse() const;

    // Starts a search (with the side letter of the instrument that asks for
    // it); while one runs, a second request joins it. searchFinished() follows.
    void search(char side);
    bool searching() const { return m_search->running(); }
    const QVector<Found> &lastSearch() const { return m_search->results(); }
    // The entry of the last search for a path; null if none.
    const Found *found(const QString &path) const;

signals:
    void searchStarted();
    void searchFinished(const QVector<Found> &results);
    void instrumentsChanged();

private:
    PortSearch *m_search;
    QList<QPointer<Instrument>> m_instruments;
};

} // namespace device
