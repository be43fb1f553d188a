// String lists. TStrings is the abstract list a control or a caller provides; TStringList
// is the framework's own list with the default sort.
#pragma once

#include "Persistent.h"

#include <string>
#include <vector>

class TStrings : public TPersistent {
public:
    std::string ClassName() const override { return "TStrings"; }

    virtual int Count() const = 0;
    virtual std::string Get(int Index) const = 0;
    virtual void Clear() = 0;
    virtual void Insert(int Index, const std::string& S) = 0;
    virtual void Delete(int Index) = 0;

    std::string operator[](int Index) const { return Get(Index); }
    int Add(const std::string& S) {
        Insert(Count(), S);
        return Count() - 1;
    }
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}

    // Replaces the contents with those of another TStrings; anything else defers to
    // TPersistent (the cannot-assign error).
    void Assign(TPersistent* Source) override;
};

class TStringList : public TStrings {
public:
    std::string ClassName() const override { return "TStringList"; }

    int Count() const override { return static_cast<int>(items_.size()); }
    std::string Get(int Index) const override;
    void Clear() override { items_.clear(); }
    void Insert(int Index, const std::string& S) override;
    void Delete(int Index) override;

    // The default order: case-insensitive comparison in the user's locale
    // (so COM1, COM10, COM2). Entries that compare equal keep no particular order.
    void Sort();

private:
    std::vector<std::string> items_;
};

// Case-insensitive comparison of two UTF-8 texts in the user's locale: <0, 0 or >0.
int AnsiCompareText(const std::string& S1, const std::string& S2);
