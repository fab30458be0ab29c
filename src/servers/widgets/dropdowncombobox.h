#pragma once
// A combo box that says when its list is about to open, so the list can be filled
// only when the user asks for it (a server round trip that may take seconds).

#include <QComboBox>

class TDropDownComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void dropDown();
};
