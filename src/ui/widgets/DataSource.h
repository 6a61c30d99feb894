#pragma once

#include "core/RecordSet.h"

#include <QObject>

// Binds one table to its controls: the table's only observer, re-telling every change as a
// signal so that any number of grids and editors can follow it.
class DataSource : public QObject, public RecordSetObserver {
    Q_OBJECT
public:
    explicit DataSource(RecordSet& set, QObject* parent = nullptr);
    ~DataSource() override;

    RecordSet& DataSet() const { return *set_; }

    void RecordSetChanged(RecordSet& set, RecordSetChange change, int fieldIndex) override;

Q_SIGNALS:
    // fieldIndex is set for RecordSetChange::Field, -1 otherwise.
    void Changed(RecordSetChange change, int fieldIndex);

private:
    RecordSet* set_;
};
