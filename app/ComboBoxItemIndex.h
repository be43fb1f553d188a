// Which entry of an editable combo box is selected, in the sense the handlers need.
#pragma once

class QComboBox;

// The selected entry, or -1 when none is: nothing was picked, or the user has typed
// over the picked entry. Qt keeps the old current index while the user types, so the
// index alone would name an entry the box no longer shows.
int ItemIndex(const QComboBox& Box);
