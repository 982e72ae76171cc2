#pragma once

// Shared enumerations; their numbers are part of the program's interfaces
// (stored files, engine events, row kinds) and must not change.

enum TCallState {
    CallNew = 1,
    CallDialling = 2,
    CallAccepted = 3,
    CallRinging = 4,
    CallTalking = 5,
    CallHeld = 6,
    CallTransferring = 7
};

enum TCallDirection {
    DirectionUnset = 1,
    DirectionIncoming = 2,
    DirectionOutgoing = 3
};

enum TRowType {
    RowKeep = 1,
    RowIncomingRinging = 2,
    RowOutgoing = 3,
    RowTalking = 4,
    RowHeld = 5,
    RowHeld2 = 6,
    RowMissed = 7,
    RowInformation = 8,
    RowDialled = 9,
    RowAnswered = 10,
    RowContact = 11,
    RowLdapServer = 12
};

enum TMessageType {
    MessageStatus = 1,
    MessageWarning = 2,
    MessageError = 3
};
