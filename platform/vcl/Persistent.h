// Object, persistent-object and component bases.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
    // The class name used in framework messages ("Cannot assign a TFoo to a TBar").
    virtual std::string ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
public:
    std::string ClassName() const override { return "TPersistent"; }
    // Copies Source into this object. The default asks Source->AssignTo(this); a null
    // Source or one that cannot be copied raises EConvertError
    // "Cannot assign a <source class or nil> to a <this class>".
    virtual void Assign(TPersistent* Source);

protected:
    // Copies this object into Dest; the default raises the cannot-assign error.
    virtual void AssignTo(TPersistent* Dest);

private:
    [[noreturn]] void AssignError(TPersistent* Source);
};

// Component style flags.
enum TComponentStyleFlag : unsigned { csInheritable = 1u, csCheckPropAvail = 2u, csSubComponent = 4u };

class TComponent : public TPersistent {
public:
    // Inserts itself into AOwner's list; the owner frees it when the owner is destroyed.
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override; // frees owned components (last inserted first), leaves the owner's list
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string ClassName() const override { return "TComponent"; }
    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int Index) const { return components_.at(static_cast<std::size_t>(Index)); }
    unsigned ComponentStyle() const { return componentStyle_; }
    const std::string& Name() const { return name_; }
    void SetName(std::string Name) { name_ = std::move(Name); }

protected:
    void SetComponentStyle(unsigned style) { componentStyle_ = style; }

private:
    void InsertComponent(TComponent* Component);
    void RemoveComponent(TComponent* Component);

    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    unsigned componentStyle_ = csInheritable;
    std::string name_;
};
