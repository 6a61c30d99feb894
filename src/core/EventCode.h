#pragma once

// The events of a connection, as the event log knows them. The numbers are part of the log's
// contract with older files and tools: they never change. A number outside this list is
// possible and writes no line.
enum class EventCode : int {
    Started = 1,
    Updated = 2,
    Stopped = 3,
    WaitsForPeriod = 4,
    UpdateFailed = 6,
    ReceiverOpened = 7,
    SourceOpened = 8,
    ReceiverSelected = 9,
    BalancesCleared = 10,
    BalancesAdded = 11,
    StockFilterSet = 12,
    BalancesFilled = 13,
    BalancesRead = 14,
    SourceSelected = 15,
    ReceiverUpdated = 16,
    ReceiverClosed = 17,
    SourceReleased = 18,
    CycleBegins = 19,
    CycleEnds = 20,
};
