#pragma once

#include "ui/widgets/FieldDataLink.h"

#include <QSpinBox>

// An integer editor with up/down buttons on a field of the current row; a null value shows 0.
class DbNumberEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit DbNumberEdit(QWidget* parent = nullptr);

    FieldDataLink& DataLink() { return link_; }

private:
    void ReadValue();
    void StoreValue(int value);

    FieldDataLink link_;
};
