#include "BaudRateChoice.h"

#include "Exception.h"

namespace {

std::string Trimmed(const std::string& S) {
    const auto first = S.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = S.find_last_not_of(" \t");
    return S.substr(first, last - first + 1);
}

} // namespace

TBaudRate BaudRateFromChoice(int SelectedEntry, const std::string& TypedText) {
    if (SelectedEntry >= 0 && SelectedEntry < static_cast<int>(BaudRateValues.size()))
        return static_cast<TBaudRate>(SelectedEntry);

    const std::string typed = Trimmed(TypedText);
    for (std::size_t i = 0; i < BaudRateValues.size(); ++i)
        if (typed == std::to_string(BaudRateValues[i])) return static_cast<TBaudRate>(i);

    throw Exception("Скорость «" + TypedText + "» не поддерживается: выберите значение из списка");
}
