// Assignment between persistent objects and ownership in the component tree.
#include "Exception.h"
#include "Persistent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TPoint : public TPersistent {
public:
    std::string ClassName() const override { return "TPoint"; }
    int x = 0;

protected:
    void AssignTo(TPersistent* Dest) override {
        if (auto* point = dynamic_cast<TPoint*>(Dest)) {
            point->x = x;
            return;
        }
        TPersistent::AssignTo(Dest);
    }
};

class TShape : public TPersistent {
public:
    std::string ClassName() const override { return "TShape"; }
};

std::string AssignMessage(TPersistent& dest, TPersistent* source) {
    try {
        dest.Assign(source);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST(PersistentAssign, DefersToTheSourcesAssignTo) {
    TPoint from, to;
    from.x = 42;
    to.Assign(&from);
    EXPECT_EQ(to.x, 42);
}

TEST(PersistentAssign, ImpossibleAssignmentNamesBothClasses) {
    TPoint point;
    TShape shape;
    EXPECT_EQ(AssignMessage(point, nullptr), "Cannot assign a nil to a TPoint");
    EXPECT_EQ(AssignMessage(point, &shape), "Cannot assign a TShape to a TPoint");
    // The source knows how to copy itself, but only into its own kind.
    EXPECT_EQ(AssignMessage(shape, &point), "Cannot assign a TPoint to a TShape");
}

// Counts its own destruction and records the order.
class TTracked : public TComponent {
public:
    TTracked(TComponent* owner, std::string name, std::vector<std::string>& log)
        : TComponent(owner), log_(log) {
        SetName(std::move(name));
    }
    ~TTracked() override { log_.push_back(Name()); }

private:
    std::vector<std::string>& log_;
};

TEST(ComponentOwnership, OwnerFreesWhatItOwnsLastInsertedFirst) {
    std::vector<std::string> freed;
    {
        TTracked root(nullptr, "root", freed);
        new TTracked(&root, "first", freed);
        auto* second = new TTracked(&root, "second", freed);
        new TTracked(second, "grandchild", freed);
        EXPECT_EQ(root.ComponentCount(), 2);
        EXPECT_EQ(root.Components(1), second);
        EXPECT_EQ(second->Owner(), &root);
    }
    EXPECT_EQ(freed, (std::vector<std::string>{"root", "second", "grandchild", "first"}));
}

TEST(ComponentOwnership, ComponentFreedDirectlyLeavesItsOwner) {
    std::vector<std::string> freed;
    {
        TTracked root(nullptr, "root", freed);
        auto* a = new TTracked(&root, "a", freed);
        new TTracked(&root, "b", freed);
        delete a;
        ASSERT_EQ(root.ComponentCount(), 1);
        EXPECT_EQ(root.Components(0)->Name(), "b");
    }
    // Freed exactly once each (a double free would also trip AddressSanitizer).
    EXPECT_EQ(freed, (std::vector<std::string>{"a", "root", "b"}));
}

TEST(ComponentOwnership, NewComponentIsInheritable) {
    TComponent component(nullptr);
    EXPECT_EQ(component.ComponentStyle(), csInheritable);
    EXPECT_EQ(component.Owner(), nullptr);
}

} // namespace
