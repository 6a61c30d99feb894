#pragma once

// The last Id handed out for each editable table. Counters only grow during a run.
class IdCounters {
public:
    int Counter_Connection = 0;
    int Counter_Receiver = 0;
    int Counter_Source = 0;

    int NewConnectionId() { return ++Counter_Connection; }
    int NewReceiverId() { return ++Counter_Receiver; }
    int NewSourceId() { return ++Counter_Source; }
};
