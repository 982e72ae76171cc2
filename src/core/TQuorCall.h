#pragma once

#include <QDateTime>
#include <QString>

#include "core/QuorTypes.h"

class TContact;
class TlServer;
class QMimeData;

// The record behind every list row: a call of the softphone, or an address-book
// or LDAP server entry. Every live record is known to a registry, so that a
// "phone/call" drag payload (the record's address as decimal text) can be
// resolved safely: a payload from another application, or naming a call that
// ended during the drag, resolves to nullptr.
//
// The allocator hands a freed record's address to the next record, so the
// address alone could name a call that started during the drag. Every record
// therefore has a serial number that is never reused, carried beside the
// address in a format of our own; a payload resolves only when both match.
class TQuorCall
{
public:
    TQuorCall();
    ~TQuorCall();

    TQuorCall(const TQuorCall &) = delete;
    TQuorCall &operator=(const TQuorCall &) = delete;

    TContact *contact = nullptr;
    TlServer *server = nullptr;
    int callNo = -1;

    int direction = DirectionUnset; // TCallDirection
    QString name;
    QString number;
    QString dialled;
    QDateTime startTime;
    int state = CallNew; // TCallState
    int previousState = CallNew; // TCallState

    // Sets the state and keeps the former one in previousState.
    void setState(int newState);

    // A caller's number or name as a record keeps it: without control
    // characters and surrounding blanks.
    static QString cleanNumber(const QString &number);

    // Unique for the life of the process; never 0.
    quint64 serial() const { return m_serial; }

    static const char *mimeType() { return "phone/call"; }
    static const char *serialMimeType() { return "application/x-quor-call-serial"; }
    // The drag data naming this record: "phone/call" and the serial. The
    // caller owns it.
    QMimeData *toMimeData() const;
    // The live record named by the drag data, or nullptr (unknown, ended or
    // replaced record, 0, garbage, no serial).
    static TQuorCall *fromMimeData(const QMimeData *data);
    static bool isLive(const TQuorCall *call);

private:
    const quint64 m_serial;
};
