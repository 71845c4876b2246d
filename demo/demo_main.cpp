// The demo: the control shows a person what it has to say, under Wine or
// Windows. With --auto it answers its own boxes and prints what they showed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "control/orvanta_ctrl.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_ui.h"
#include "tests/wine/host.h"
#include "tests/wine/watcher.h"

using orvanta::COrvantaCtrl;
using orvanta::testing::BoxRecord;
using orvanta::testing::DialogWatcher;

namespace {

void Print(const BoxRecord& box) {
    std::printf("  box \"%s\"%s\n", box.caption.c_str(), box.topmost ? " (topmost)" : "");
    for (const auto& child : box.children) {
        if (!child.text.empty()) std::printf("    %s %d: %s\n", child.cls.c_str(), child.id, child.text.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool automatic = false;
    for (int i = 1; i < argc; ++i) automatic |= std::strcmp(argv[i], "--auto") == 0;

    orvanta::testing::Win32Host host;
    COrvantaCtrl ctrl(host.Get());
    std::unique_ptr<DialogWatcher> watcher;
    if (automatic) {
        watcher = std::make_unique<DialogWatcher>();
        // Leave each box up a moment, as a person would read it.
        watcher->SetAnswer([](const BoxRecord&) {
            static DWORD first_seen = 0;
            if (!first_seen) first_seen = GetTickCount();
            if (GetTickCount() - first_seen < 700) return 0;
            first_seen = 0;
            return IDOK;
        });
    }

    std::printf("Orvanta demo: a notice\n");
    ctrl.ShowNotice("Das Steuerelement ist bereit. Dies ist ein Hinweis, wie ihn Bediener sehen.",
                    "Brisomel");
    std::printf("Orvanta demo: a trace report in debug mode\n");
    ctrl.SetdebugModus(true);
    SetLastError(ERROR_FILE_NOT_FOUND);
    ctrl.DbgMsg("nicht offen.", "OpenDevice");

    if (watcher) {
        watcher->WaitUntilNoneOpen(10000);
        for (const BoxRecord& box : watcher->Boxes()) Print(box);
    }
    std::printf("Orvanta demo: done\n");
    return 0;
}
