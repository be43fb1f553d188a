#include "Persistent.h"

#include "Exception.h"

#include <algorithm>

void TPersistent::Assign(TPersistent* Source) {
    if (Source == nullptr) AssignError(nullptr);
    Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) {
    // The destination reports the failure: it names both classes the same way
    // whichever side gave up.
    if (Dest == nullptr) throw EConvertError("Cannot assign a " + ClassName() + " to a nil");
    Dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* Source) {
    const std::string sourceName = Source != nullptr ? Source->ClassName() : "nil";
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    // Owned components go last-inserted first, so that a component created after another
    // (and possibly using it) is gone before it.
    while (!components_.empty()) {
        TComponent* child = components_.back();
        components_.pop_back();
        child->owner_ = nullptr;
        delete child;
    }
    if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* Component) {
    components_.push_back(Component);
    Component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* Component) {
    auto it = std::find(components_.rbegin(), components_.rend(), Component);
    if (it != components_.rend()) components_.erase(std::next(it).base());
    Component->owner_ = nullptr;
}
