#include "ComboBoxStrings.h"

#include "Exception.h"

#include <QComboBox>

namespace {

[[noreturn]] void IndexError(int Index) {
    throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
}

} // namespace

int TComboBoxStrings::Count() const {
    return box_->count();
}

std::string TComboBoxStrings::Get(int Index) const {
    if (Index < 0 || Index >= Count()) IndexError(Index);
    return box_->itemText(Index).toStdString();
}

void TComboBoxStrings::Clear() {
    box_->clear();
}

// QComboBox quietly appends for an index past the end and prepends for a negative one;
// a list must refuse both instead.
void TComboBoxStrings::Insert(int Index, const std::string& S) {
    if (Index < 0 || Index > Count()) IndexError(Index);
    box_->insertItem(Index, QString::fromStdString(S));
}

void TComboBoxStrings::Delete(int Index) {
    if (Index < 0 || Index >= Count()) IndexError(Index);
    box_->removeItem(Index);
}
