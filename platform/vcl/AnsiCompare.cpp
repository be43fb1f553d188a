#include "AnsiCompare.h"

#include "Strings.h"

#include <locale>

namespace {

// The user's locale from the environment, as a locale object: the process-wide C locale
// is left alone. An unknown locale name in the environment falls back to the classic one.
std::locale UserLocale() {
    try {
        return std::locale("");
    } catch (...) {
        return std::locale::classic();
    }
}

// The classic locale folds ASCII only; the C.UTF-8 tables fold every script, so they
// stand in when the user's own locale does not know Cyrillic case.
std::locale CaseLocale(const std::locale& user) {
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(user);
    if (ctype.tolower(L'\u0416') != L'\u0416') return user;
    for (const char* name : {"C.UTF-8", "C.utf8"}) {
        try {
            return std::locale(name);
        } catch (...) {
        }
    }
    return user;
}

struct TextOrder {
    std::locale user = UserLocale();
    std::locale casing = CaseLocale(user);
    const std::ctype<wchar_t>& ctype = std::use_facet<std::ctype<wchar_t>>(casing);
    const std::collate<wchar_t>& collate = std::use_facet<std::collate<wchar_t>>(user);
};

const TextOrder& Order() {
    static const TextOrder order;
    return order;
}

// Decodes UTF-8; a byte that does not start a valid sequence stands for itself as
// U+DC80..U+DCFF (never a real character), so distinct texts stay distinct.
std::wstring Decode(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned lead = *p;
        int extra = 0;
        char32_t cp = lead;
        char32_t min = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else if (lead >= 0x80) {
            extra = -1;
        }
        bool valid = extra >= 0 && end - p > extra;
        for (int i = 1; valid && i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (valid && extra > 0 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out.push_back(static_cast<wchar_t>(0xDC00 + lead));
            ++p;
            continue;
        }
        out.push_back(static_cast<wchar_t>(cp));
        p += extra + 1;
    }
    return out;
}

} // namespace

std::wstring AnsiSortKey(const std::string& Text) {
    const TextOrder& order = Order();
    std::wstring folded = Decode(Text);
    order.ctype.tolower(folded.data(), folded.data() + folded.size());
    return order.collate.transform(folded.data(), folded.data() + folded.size());
}

int AnsiCompareText(const std::string& S1, const std::string& S2) {
    const std::wstring k1 = AnsiSortKey(S1);
    const std::wstring k2 = AnsiSortKey(S2);
    return k1 < k2 ? -1 : (k1 == k2 ? 0 : 1);
}
