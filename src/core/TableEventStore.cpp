#include "core/TableEventStore.h"

namespace {
void MoveIntoSlot(RecordSet::Handler& slot, RecordSet::Handler& handler) {
    slot = nullptr;
    if (handler)
        slot = std::exchange(handler, nullptr);
}
void PutBack(const RecordSet::Handler& slot, RecordSet::Handler& handler) {
    if (slot)
        handler = slot;
}
} // namespace

void TableEventStore::SuspendTableEvents(RecordSet& table) {
    MoveIntoSlot(onNewRecord_, table.OnNewRecord);
    MoveIntoSlot(afterInsert_, table.AfterInsert);
    MoveIntoSlot(afterScroll_, table.AfterScroll);
    MoveIntoSlot(afterPost_, table.AfterPost);
    MoveIntoSlot(afterDelete_, table.AfterDelete);
    MoveIntoSlot(afterRowUpdate_, table.AfterRowUpdate);
}

void TableEventStore::RestoreTableEvents(RecordSet& table) {
    PutBack(onNewRecord_, table.OnNewRecord);
    PutBack(afterInsert_, table.AfterInsert);
    PutBack(afterScroll_, table.AfterScroll);
    PutBack(afterPost_, table.AfterPost);
    PutBack(afterDelete_, table.AfterDelete);
    PutBack(afterRowUpdate_, table.AfterRowUpdate);
}

SuspendedTableEvents::SuspendedTableEvents(TableEventStore& store, RecordSet& table)
    : store_(store)
    , table_(table) {
    store_.SuspendTableEvents(table_);
}

SuspendedTableEvents::~SuspendedTableEvents() {
    store_.RestoreTableEvents(table_);
}
