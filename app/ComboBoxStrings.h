// The item list of a Qt combo box seen as the framework's TStrings, so that routines
// written against TStrings (ListSerialPorts) fill the box directly.
#pragma once

#include "Strings.h"

class QComboBox;

class TComboBoxStrings : public TStrings {
  public:
    explicit TComboBoxStrings(QComboBox* Box) : box_(Box) {}
    std::string ClassName() const override { return "TComboBoxStrings"; }

    int Count() const override;
    std::string Get(int Index) const override;
    void Clear() override;
    void Insert(int Index, const std::string& S) override;
    void Delete(int Index) override;

  private:
    QComboBox* box_;
};
