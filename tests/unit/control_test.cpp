// The control object's state: defaults, change notification, drawing.
#include <gtest/gtest.h>

#include "control/orvanta_control.h"
#include "tests/fakes/fake_platform.h"

namespace orvanta::logic {
namespace {

TEST(ControlObject, NewControlHoldsTheDefaults) {
    fakes::FakePlatform p;
    OrvantaControl ctrl(p.Get());
    EXPECT_FALSE(ctrl.GetwithACKN());
    EXPECT_EQ(ctrl.GetdefaultComSettings(), "baud=9600 parity=N data=7 stop=2");
    EXPECT_EQ(ctrl.GetScannerSuffixChar(), 3);
    EXPECT_FALSE(ctrl.GetonlyWorkwithCurrentWindow());
    EXPECT_FALSE(ctrl.GetdebugModus());
    EXPECT_EQ(ctrl.GetThreadId(), 23456);
    EXPECT_EQ(ctrl.GetscanWindowHandle(), 0);
    EXPECT_EQ(ctrl.Gettimeout(), 10);
    EXPECT_EQ(ctrl.Getchartooem(), 0);
    EXPECT_FALSE(ctrl.IsModified());
}

TEST(ControlObject, EveryPutMarksModifiedAndChangesNothingElse) {
    // Each put, also of the value already held, marks the control modified;
    // nothing is shown and no other property moves.
    using Put = void (*)(OrvantaControl&);
    const Put puts[] = {
        [](OrvantaControl& c) { c.SetwithACKN(false); },
        [](OrvantaControl& c) { c.SetdefaultComSettings("baud=9600 parity=N data=7 stop=2"); },
        [](OrvantaControl& c) { c.SetScannerSuffixChar(3); },
        [](OrvantaControl& c) { c.SetonlyWorkwithCurrentWindow(false); },
        [](OrvantaControl& c) { c.SetdebugModus(false); },
        [](OrvantaControl& c) { c.SetThreadId(-7); },
        [](OrvantaControl& c) { c.SetscanWindowHandle(0); },
        [](OrvantaControl& c) { c.Settimeout(10); },
        [](OrvantaControl& c) { c.Setchartooem(0); },
    };
    for (const Put put : puts) {
        fakes::FakePlatform p;
        OrvantaControl ctrl(p.Get());
        put(ctrl);
        EXPECT_TRUE(ctrl.IsModified());
        EXPECT_TRUE(p.ui.Events().empty());
        EXPECT_EQ(ctrl.Gettimeout(), 10);
        EXPECT_EQ(ctrl.GetScannerSuffixChar(), 3);
    }
}

TEST(ControlObject, PropertiesKeepAnyValueOfTheirType) {
    fakes::FakePlatform p;
    OrvantaControl ctrl(p.Get());
    ctrl.Settimeout(-32768);
    ctrl.SetScannerSuffixChar(255);
    ctrl.SetscanWindowHandle(-1);
    ctrl.SetwithACKN(true);
    ctrl.SetdefaultComSettings("");
    EXPECT_EQ(ctrl.Gettimeout(), -32768);
    EXPECT_EQ(ctrl.GetScannerSuffixChar(), 255);
    EXPECT_EQ(ctrl.GetscanWindowHandle(), -1);
    EXPECT_TRUE(ctrl.GetwithACKN());
    EXPECT_EQ(ctrl.GetdefaultComSettings(), "");
    ctrl.SetModifiedFlag(false);
    EXPECT_FALSE(ctrl.IsModified());
}

TEST(ControlObject, DrawsWhiteFillThenInscribedEllipse) {
    fakes::FakePlatform p;
    OrvantaControl ctrl(p.Get());
    fakes::FakeCanvas canvas;
    const interfaces::Rect bounds{10, 20, 110, 70};
    ctrl.OnDraw(canvas, bounds, interfaces::Rect{0, 0, 1, 1});
    ASSERT_EQ(canvas.calls.size(), 2u);
    EXPECT_EQ(canvas.calls[0].what, "fill");
    EXPECT_EQ(canvas.calls[1].what, "ellipse");
    for (const auto& call : canvas.calls) {
        EXPECT_EQ(call.rect.left, 10);
        EXPECT_EQ(call.rect.top, 20);
        EXPECT_EQ(call.rect.right, 110);
        EXPECT_EQ(call.rect.bottom, 70);
    }
}

TEST(ControlObject, OnlyBoundsWithoutWidthOrHeightDrawNothing) {
    fakes::FakePlatform p;
    OrvantaControl ctrl(p.Get());
    fakes::FakeCanvas canvas;
    ctrl.OnDraw(canvas, interfaces::Rect{5, 5, 5, 50}, interfaces::Rect{});
    ctrl.OnDraw(canvas, interfaces::Rect{5, 50, 40, 50}, interfaces::Rect{});
    EXPECT_TRUE(canvas.calls.empty());
    EXPECT_TRUE(p.ui.Events().empty());
    // A metafile or printer with the y-axis up gives a bottom above the top:
    // the same picture, on the rectangle put in order.
    ctrl.OnDraw(canvas, interfaces::Rect{5, 50, 40, 10}, interfaces::Rect{});
    ASSERT_EQ(canvas.calls.size(), 2u);
    EXPECT_EQ(canvas.calls[1].rect.top, 10);
    EXPECT_EQ(canvas.calls[1].rect.bottom, 50);
}

TEST(ControlObject, DestroyingAnUnusedControlShowsNothing) {
    fakes::FakePlatform p;
    { OrvantaControl ctrl(p.Get()); ctrl.SetdebugModus(true); }
    EXPECT_TRUE(p.ui.Events().empty());
}

}  // namespace
}  // namespace orvanta::logic
