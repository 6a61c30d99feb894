#pragma once

class Clock;
class RecordSet;

// True when the present moment lies on a ticked weekday of the connection and inside its daily
// window TimeStart..TimeEnd, both ends included. A window whose start lies after its end never
// holds; a missing row or a null value fails. Main thread only.
bool IsInWorkingPeriod(const RecordSet& connection, const Clock& clock, int id);
