#include "platform/dropdowncombobox.h"

void TDropDownComboBox::showPopup() {
    emit dropDown();
    QComboBox::showPopup();
}
