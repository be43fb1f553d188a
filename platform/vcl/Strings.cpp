#include "Strings.h"

#include "AnsiCompare.h"
#include "Exception.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

[[noreturn]] void ListIndexError(int Index) {
    char text[64];
    std::snprintf(text, sizeof text, "List index out of bounds (%d)", Index);
    throw Exception(text);
}

// Ends the update on every path, also when copying fails half-way.
class UpdateScope {
public:
    explicit UpdateScope(TStrings& strings) : strings_(strings) { strings_.BeginUpdate(); }
    ~UpdateScope() { strings_.EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    TStrings& strings_;
};

} // namespace

void TStrings::Assign(TPersistent* Source) {
    auto* source = dynamic_cast<TStrings*>(Source);
    if (source == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    // Taken first so that assigning a list to itself keeps its contents.
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(source->Count()));
    for (int i = 0; i < source->Count(); ++i)
        items.push_back(source->Get(i));

    UpdateScope update(*this);
    Clear();
    for (auto& item : items)
        Add(item);
}

std::string TStringList::Get(int Index) const {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return items_[static_cast<std::size_t>(Index)];
}

void TStringList::Insert(int Index, const std::string& S) {
    if (Index < 0 || Index > Count()) ListIndexError(Index);
    items_.insert(items_.begin() + Index, S);
}

void TStringList::Delete(int Index) {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    items_.erase(items_.begin() + Index);
}

void TStringList::Sort() {
    // One collation key per entry: comparing keys is a strict weak order whatever the
    // locale's tables hold, and each text is folded and transformed only once.
    // Everything that can fail happens before the entries move, so nothing is lost.
    std::vector<std::wstring> keys;
    keys.reserve(items_.size());
    for (const auto& item : items_)
        keys.push_back(AnsiSortKey(item));
    std::vector<std::size_t> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<std::string> sorted;
    sorted.reserve(items_.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(items_[i]));
    items_.swap(sorted);
}
