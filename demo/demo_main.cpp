// The demo: the control shows a person what it has to say, prints a small job
// to a printer on a virtual cable, and runs a scan session whose codes land
// in a window of the demo. Under Wine or Windows; with --auto it answers its
// own boxes and prints what they showed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <memory>

#include "control/orvanta_ctrl.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_ui.h"
#include "testkit/host.h"
#include "testkit/peer.h"
#include "testkit/watcher.h"

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

// The bytes as a person reads them: printable ones as they are, the rest in hex.
std::string Readable(const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        char piece[8];
        if (c >= 0x20 && c < 0x7F) std::snprintf(piece, sizeof piece, "%c", c);
        else std::snprintf(piece, sizeof piece, "<%02X>", c);
        out += piece;
    }
    return out;
}

void PrintJob(COrvantaCtrl& ctrl, const std::string& printer_port, const std::string& printer_name) {
    std::printf("Orvanta demo: a print job on %s, the printer on %s\n", printer_port.c_str(),
                printer_name.c_str());
    orvanta::testing::Peer printer(printer_name);
    if (!printer.IsOpen() || !ctrl.OpenDevice(printer_port)) {
        std::printf("  no virtual printer here\n");
        return;
    }
    {
        std::ofstream file("demo.prn", std::ios::binary);
        file << "Inhalt einer Datei: Artikel 4711, Menge 3\r\n";
    }
    long sent = 0;
    sent += ctrl.Writeln("Orvanta Druckauftrag");
    sent += ctrl.SendEscCommand("E", "");            // reset
    sent += ctrl.SendEscCommand("(s", "51 48 72");   // then three parameter bytes
    sent += ctrl.SendFile("demo.prn");
    ctrl.FormFeed();
    ++sent;
    const std::string arrived = printer.ReceiveAll(static_cast<size_t>(sent), 3000);
    ctrl.CloseDevice();
    std::printf("  the control sent %ld bytes; the printer received %u:\n  %s\n", sent,
                static_cast<unsigned>(arrived.size()), Readable(arrived).c_str());
    std::ifstream protocol("OCXPROT.PRT", std::ios::binary | std::ios::ate);
    std::printf("  OCXPROT.PRT holds %ld bytes\n", static_cast<long>(protocol.tellg()));
}

void ScanSession(COrvantaCtrl& ctrl, const std::string& scanner_port, const std::string& scanner_name) {
    std::printf("Orvanta demo: a scan session on %s, the scanner on %s\n", scanner_port.c_str(),
                scanner_name.c_str());
    orvanta::testing::Peer scanner(scanner_name);
    if (!scanner.IsOpen() || !ctrl.OpenDevice(scanner_port) || !ctrl.SetCOMSettings("")) {
        std::printf("  no virtual scanner here\n");
        return;
    }
    HWND frame = CreateWindowExA(0, "STATIC", "Orvanta Scan-Demo", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                 420, 110, nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 10,
                                390, 28, frame, nullptr, nullptr, nullptr);
    ctrl.SetwithACKN(true);
    ctrl.SetonlyWorkwithCurrentWindow(true);
    ctrl.SetscanWindowHandle(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(edit)));
    ctrl.ActivateScanTask();

    std::string answers;
    std::thread play([&] {
        answers += scanner.ReceiveAll(1, 3000);  // the start answer
        for (const char* code : {"4711 ", "0815 ", "ERROR", "4006381333931", "ENDSCAN"}) {
            Sleep(400);
            std::printf("  scanner sends \"%s\"\n", code);
            scanner.Send(std::string(code) + "\x03");
            answers += scanner.ReceiveAll(1, 3000);
        }
    });
    // The codes come as window messages: keep them flowing until the task
    // has said its last word.
    orvanta::testing::PumpUntil([&] { return !ctrl.IsScanTaskRunning(); }, 300000);
    play.join();
    char text[256] = {};
    GetWindowTextA(edit, text, sizeof text);
    std::printf("  the window received: \"%s\"\n", text);
    std::printf("  the scanner received the answers: %s\n", Readable(answers).c_str());
    ctrl.CloseDevice();
    DestroyWindow(frame);
}

}  // namespace

int main(int argc, char** argv) {
    bool automatic = false;
    for (int i = 1; i < argc; ++i) automatic |= std::strcmp(argv[i], "--auto") == 0;

    orvanta::testing::Win32DeviceHost host;
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
    auto show_boxes = [&] {
        if (!watcher) return;
        watcher->WaitUntilNoneOpen(10000);
        for (const BoxRecord& box : watcher->Boxes()) Print(box);
        watcher->Clear();
    };

    std::printf("Orvanta demo: a notice\n");
    ctrl.ShowNotice("Das Steuerelement ist bereit. Dies ist ein Hinweis, wie ihn Bediener sehen.",
                    "Brisomel");
    std::printf("Orvanta demo: a trace report in debug mode\n");
    ctrl.SetdebugModus(true);
    SetLastError(ERROR_FILE_NOT_FOUND);
    ctrl.DbgMsg("nicht offen.", "OpenDevice");
    ctrl.SetdebugModus(false);
    show_boxes();

    // The cable's two ends: the control's port and the device's.
    std::string own = "COM5", device = "COM6";
    orvanta::testing::PeerPorts(own, device);
    PrintJob(ctrl, own, device);
    ScanSession(ctrl, own, device);
    show_boxes();
    std::printf("Orvanta demo: done\n");
    return 0;
}
