#include "ComboBoxItemIndex.h"

#include <QComboBox>

int ItemIndex(const QComboBox& Box) {
    const int index = Box.currentIndex();
    if (index < 0 || Box.itemText(index) != Box.currentText()) return -1;
    return index;
}
