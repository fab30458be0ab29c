#include "servers/widgets/dropdowncombobox.h"

void TDropDownComboBox::showPopup() {
    emit dropDown();
    QComboBox::showPopup();
}
