#include "ui/widgets/DataSource.h"

DataSource::DataSource(RecordSet& set, QObject* parent)
    : QObject(parent)
    , set_(&set) {
    set_->AddObserver(this);
}

DataSource::~DataSource() {
    set_->RemoveObserver(this);
}

void DataSource::RecordSetChanged(RecordSet& /*set*/, RecordSetChange change, int fieldIndex) {
    Q_EMIT Changed(change, fieldIndex);
}
