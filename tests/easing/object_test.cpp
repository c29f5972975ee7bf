// The Easing object and its holder: defaults, setters, fall-backs, copies.

#include <cmath>

#include <gtest/gtest.h>

#include "Pimpl.h"
#include "ZelvanEasing.h"

namespace {

using Impl = Easing::Impl;
using Holder = ImplHolder<Impl>;

Impl* Get(ImplHolderBase* h) { return static_cast<Impl*>(h->GetPtr()); }

TEST(EasingObject, DefaultIsLinearInOut) {
    Easing e;
    EXPECT_EQ(e.getTime(0.3), 0.3);
    EXPECT_EQ(e.getTime(-1.0), 0.0);
    EXPECT_EQ(e.getTime(2.0), 1.0);
    // Changing only the type shows the default mode is InOut.
    e.setEasingType(2);
    EXPECT_EQ(e.getTime(0.25), 0.125);
    EXPECT_EQ(e.getTime(0.75), 0.875);
}

TEST(EasingObject, ImplDefaultsMatch) {
    Impl def;
    Impl explicitCodes(1, 3);
    for (int type = 1; type <= 11; ++type) {
        def.setEasingType(type);
        explicitCodes.setEasingType(type);
        for (double t : {0.1, 0.3, 0.5, 0.7}) EXPECT_EQ(def.getTime(t), explicitCodes.getTime(t)) << type;
    }
}

TEST(EasingObject, SettersChangeTheCurve) {
    Easing e(2, 1);
    EXPECT_EQ(e.getTime(0.5), 0.25);
    e.setEasingMode(2);
    EXPECT_EQ(e.getTime(0.5), 0.75);
    e.setEasingType(0);
    EXPECT_EQ(e.getTime(0.5), 0.5);
    e.setEasingType(3);  // mode 2 still in place
    EXPECT_EQ(e.getTime(0.5), 0.875);
    e.setEasingMode(3);
    EXPECT_EQ(e.getTime(0.25), 0.0625);
}

TEST(EasingObject, TypesOutsideThePopupEvaluate) {
    EXPECT_NEAR(Easing(10, 1).getTime(0.25), -0.0641365625, 1e-10);
    EXPECT_NEAR(Easing(11, 3).getTime(0.25), 0.0119694444, 1e-10);
}

TEST(EasingObject, UnlistedCodesFallBack) {
    EXPECT_EQ(Easing(2, 7).getTime(0.5), 0.0);
    EXPECT_FALSE(std::signbit(Easing(2, 7).getTime(0.5)));
    EXPECT_EQ(Easing(99, 7).getTime(0.5), 0.5);
    EXPECT_EQ(Easing(-1, 0).getTime(0.3), 0.3);
    EXPECT_EQ(Easing(2, 7).getTime(1.0), 1.0);
}

TEST(EasingObject, ForwardsToImplUnchanged) {
    for (int type = -1; type <= 12; ++type)
        for (int mode = 0; mode <= 4; ++mode) {
            Easing e(type, mode);
            const Impl impl(type, mode);
            for (double t : {-0.5, 0.0, 0.05, 0.3, 0.5, 0.65, 0.99, 1.0, 3.0}) {
                EXPECT_EQ(e.getTime(t), impl.getTime(t)) << type << "/" << mode << " t " << t;
            }
        }
}

TEST(EasingObject, CopyConstructionIsDeep) {
    Easing a(2, 1);
    Easing b(a);
    EXPECT_EQ(b.getTime(0.5), 0.25);
    a.setEasingMode(2);
    EXPECT_EQ(a.getTime(0.5), 0.75);
    EXPECT_EQ(b.getTime(0.5), 0.25);
    b.setEasingType(1);
    EXPECT_EQ(a.getTime(0.5), 0.75);
}

TEST(EasingObject, CopyAssignmentCopiesCodes) {
    Easing a(3, 2);
    Easing b(2, 1);
    b = a;
    EXPECT_EQ(b.getTime(0.5), 0.875);
    a.setEasingType(2);
    EXPECT_EQ(b.getTime(0.5), 0.875);
    EXPECT_EQ(a.getTime(0.5), 0.75);

    Easing& self = b;
    b = self;
    EXPECT_EQ(b.getTime(0.5), 0.875);
}

// --- Holder -------------------------------------------------------------------

TEST(ImplHolder, GetPtrReturnsTheHeldObject) {
    Impl* impl = new Impl(4, 2);
    Holder h(impl);
    EXPECT_EQ(h.GetPtr(), static_cast<void*>(impl));
    const Holder& ch = h;
    EXPECT_EQ(ch.GetPtr(), static_cast<const void*>(impl));
}

TEST(ImplHolder, EmptyHolderDestroysCleanly) {
    ImplHolderBase* h = new Holder();
    EXPECT_EQ(h->GetPtr(), nullptr);
    delete h;
}

TEST(ImplHolder, CloneIsIndependent) {
    ImplHolderBase* source = new Holder(new Impl(2, 1));
    ImplHolderBase* clone = source->Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, source);
    EXPECT_NE(clone->GetPtr(), source->GetPtr());
    EXPECT_EQ(Get(clone)->getTime(0.5), 0.25);

    Get(source)->setEasingType(3);
    Get(source)->setEasingMode(2);
    EXPECT_EQ(Get(source)->getTime(0.5), 0.875);
    EXPECT_EQ(Get(clone)->getTime(0.5), 0.25);

    // The clone outlives its source.
    delete source;
    EXPECT_EQ(Get(clone)->getTime(0.5), 0.25);
    delete clone;
}

TEST(ImplHolder, CopyToKeepsTheTargetsOwnObject) {
    ImplHolderBase* source = new Holder(new Impl(5, 2));
    ImplHolderBase* target = new Holder(new Impl(1, 3));
    void* targetObject = target->GetPtr();

    source->CopyTo(target);
    EXPECT_EQ(target->GetPtr(), targetObject);
    EXPECT_NE(target->GetPtr(), source->GetPtr());
    EXPECT_EQ(Get(target)->getTime(0.5), 0.96875);

    // Later changes on either side stay on that side.
    Get(source)->setEasingMode(1);
    EXPECT_EQ(Get(target)->getTime(0.5), 0.96875);
    Get(target)->setEasingType(2);
    EXPECT_EQ(Get(source)->getTime(0.5), 0.03125);

    // Releasing the source leaves the target's object intact; the target
    // releases its own (checked by the leak sanitizer).
    delete source;
    EXPECT_EQ(Get(target)->getTime(0.5), 0.75);
    delete target;
}

TEST(ImplHolder, ConstCloneAndCopyTo) {
    const Holder source(new Impl(2, 2));
    ImplHolderBase* clone = source.Clone();
    EXPECT_EQ(Get(clone)->getTime(0.5), 0.75);
    Holder target(new Impl(0, 0));
    source.CopyTo(&target);
    EXPECT_EQ(static_cast<const Impl*>(static_cast<const Holder&>(target).GetPtr())->getTime(0.5), 0.75);
    delete clone;
}

}  // namespace
