// The control object's state: defaults, change notification through the
// properties' calls in the dispatch table, drawing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "control/orvanta_control.h"
#include "control/orvanta_members.h"
#include "tests/fakes/fake_platform.h"

namespace orvanta::logic {
namespace {

// A host's get and put of a property, through the member's calls in the dispatch table.
framework::DispatchResult Get(OrvantaControl& ctrl, const char* name) {
    framework::DispatchArgs args;
    framework::DispatchResult result;
    OrvantaMembers().FindByName(name)->call(&ctrl, args, result);
    return result;
}
void Put(OrvantaControl& ctrl, const char* name, std::int32_t number, std::string text = {}) {
    framework::DispatchArgs args;
    framework::DispatchResult result;
    args.number[0] = number;
    args.text[0] = std::move(text);
    OrvantaMembers().FindByName(name)->put(&ctrl, args, result);
}

TEST(ControlObject, NewControlHoldsTheDefaults) {
    fakes::FakePlatform p;
    OrvantaControl ctrl(p.Get());
    EXPECT_FALSE(Get(ctrl, "withACKN").number);
    EXPECT_EQ(Get(ctrl, "defaultComSettings").text, "baud=9600 parity=N data=7 stop=2");
    EXPECT_EQ(Get(ctrl, "ScannerSuffixChar").number, 3);
    EXPECT_FALSE(Get(ctrl, "onlyWorkwithCurrentWindow").number);
    EXPECT_FALSE(Get(ctrl, "debugModus").number);
    EXPECT_EQ(Get(ctrl, "ThreadId").number, 23456);
    EXPECT_EQ(Get(ctrl, "scanWindowHandle").number, 0);
    EXPECT_EQ(Get(ctrl, "timeout").number, 10);
    EXPECT_EQ(Get(ctrl, "chartooem").number, 0);
    EXPECT_FALSE(ctrl.IsModified());
}

TEST(ControlObject, EveryPutMarksModifiedAndChangesNothingElse) {
    // Each put, also of the value already held, marks the control modified;
    // nothing is shown and no other property moves.
    struct Value {
        const char* name;
        std::int32_t number;
        const char* text;
    };
    const Value puts[] = {
        {"withACKN", 0, ""},          {"defaultComSettings", 0, "baud=9600 parity=N data=7 stop=2"},
        {"ScannerSuffixChar", 3, ""}, {"onlyWorkwithCurrentWindow", 0, ""},
        {"debugModus", 0, ""},        {"ThreadId", -7, ""},
        {"scanWindowHandle", 0, ""},  {"timeout", 10, ""},
        {"chartooem", 0, ""},
    };
    for (const Value& put : puts) {
        SCOPED_TRACE(put.name);
        fakes::FakePlatform p;
        OrvantaControl ctrl(p.Get());
        Put(ctrl, put.name, put.number, put.text);
        EXPECT_TRUE(ctrl.IsModified());
        EXPECT_TRUE(p.ui.Events().empty());
        EXPECT_EQ(Get(ctrl, "timeout").number, 10);
        EXPECT_EQ(Get(ctrl, "ScannerSuffixChar").number, 3);
    }
}

TEST(ControlObject, PropertiesKeepAnyValueOfTheirType) {
    fakes::FakePlatform p;
    OrvantaControl ctrl(p.Get());
    Put(ctrl, "timeout", -32768);
    Put(ctrl, "ScannerSuffixChar", 255);
    Put(ctrl, "scanWindowHandle", -1);
    Put(ctrl, "withACKN", 1);
    Put(ctrl, "defaultComSettings", 0, "");
    EXPECT_EQ(Get(ctrl, "timeout").number, -32768);
    EXPECT_EQ(Get(ctrl, "ScannerSuffixChar").number, 255);
    EXPECT_EQ(Get(ctrl, "scanWindowHandle").number, -1);
    EXPECT_TRUE(Get(ctrl, "withACKN").number);
    EXPECT_EQ(Get(ctrl, "defaultComSettings").text, "");
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
    { OrvantaControl ctrl(p.Get()); ctrl.settings().debugModus = 1; }
    EXPECT_TRUE(p.ui.Events().empty());
}

}  // namespace
}  // namespace orvanta::logic
