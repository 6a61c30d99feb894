#pragma once

// The last Id handed out for each editable table. Counters only grow during a run; past the
// largest integer they wrap to the smallest, as 32-bit arithmetic does, rather than overflow.
class IdCounters {
public:
    int Counter_Connection = 0;
    int Counter_Receiver = 0;
    int Counter_Source = 0;

    int NewConnectionId() { return Next(Counter_Connection); }
    int NewReceiverId() { return Next(Counter_Receiver); }
    int NewSourceId() { return Next(Counter_Source); }

private:
    static int Next(int& counter) {
        counter = static_cast<int>(static_cast<unsigned>(counter) + 1u);
        return counter;
    }
};
