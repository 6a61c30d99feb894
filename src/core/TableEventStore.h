#pragma once

#include "core/RecordSet.h"

// One store of slots for the change events that are taken off a table while it is posted,
// moved or has a row updated without saving or refreshing. Suspensions do not nest.
class TableEventStore {
public:
    // Takes on-new-record, after-insert, after-scroll, after-post, after-delete and
    // after-row-update off the table; after-cancel and the calculation stay.
    void SuspendTableEvents(RecordSet& table);
    // Puts every held handler back; the slots keep them.
    void RestoreTableEvents(RecordSet& table);

private:
    RecordSet::Handler onNewRecord_;
    RecordSet::Handler afterInsert_;
    RecordSet::Handler afterScroll_;
    RecordSet::Handler afterPost_;
    RecordSet::Handler afterDelete_;
    RecordSet::Handler afterRowUpdate_;
};

// Suspends a table's events for one scope and puts them back on every path, failures included.
class SuspendedTableEvents {
public:
    SuspendedTableEvents(TableEventStore& store, RecordSet& table);
    ~SuspendedTableEvents();
    SuspendedTableEvents(const SuspendedTableEvents&) = delete;
    SuspendedTableEvents& operator=(const SuspendedTableEvents&) = delete;

private:
    TableEventStore& store_;
    RecordSet& table_;
};
