#pragma once

#include "ui/widgets/FieldDataLink.h"

#include <QCheckBox>

// A check box on an integer field of the current row: ticked stores 1, unticked 0; a null
// value shows unticked.
class DbCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit DbCheckBox(QWidget* parent = nullptr);

    FieldDataLink& DataLink() { return link_; }

private:
    void ReadValue();
    void StoreState(bool checked);

    FieldDataLink link_;
};
