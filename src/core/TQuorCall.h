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
    int state = CallNew;            // TCallState
    int previousState = CallNew;    // TCallState

    // Sets the state and keeps the former one in previousState.
    void setState(int newState);

    static const char *mimeType() { return "phone/call"; }
    // The drag payload naming this record.
    QByteArray dragPayload() const;
    // The live record named by a payload, or nullptr (unknown, dead, 0, garbage).
    static TQuorCall *fromPayload(const QByteArray &payload);
    static TQuorCall *fromMimeData(const QMimeData *data);
    static bool isLive(const TQuorCall *call);
};
