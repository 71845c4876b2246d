// The demo's event scene: a compiled host that takes the scanned codes as
// events, with no window and no keystrokes. Wine's cscript has no
// WScript.ConnectObject, so this small program plays the host a VB6 form or a
// C# form would be. It reaches the control only through COM, by ProgID and
// member names, and finds the event interface as hosts do
// (IProvideClassInfo2::GetGUID).
//
//   orvanta_event_host PORT COUNT   take COUNT codes, then stop the scan task
//                                   from inside the last CodeScanned
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "testkit/dispatch_sink.h"

namespace {

using orvanta::testing::Arg;

IDispatch* g_ctrl = nullptr;
int g_left = 0;

DISPID IdOf(const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    g_ctrl->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// A method call or a property put by name, with at most one argument.
VARIANT Call(const wchar_t* name, VARIANT* arg = nullptr, bool put = false) {
    VARIANT result;
    VariantInit(&result);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {arg, put ? &named : nullptr, arg ? 1u : 0u, put ? 1u : 0u};
    g_ctrl->Invoke(IdOf(name), IID_NULL, LOCALE_USER_DEFAULT, put ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD,
                   &params, put ? nullptr : &result, nullptr, nullptr);
    return result;
}

// The host's handlers: _DOrvantaEvents has CodeScanned (1), ScanEnded (2),
// DeviceLost (3) and DeviceBack (4).
class Sink final : public orvanta::testing::DispatchSink {
public:  // lives as long as the program: the base's counts
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id == 1 && p->cArgs == 1 && V_VT(&p->rgvarg[0]) == VT_BSTR) {
            std::printf("  host: CodeScanned(\"%ls\")\n", V_BSTR(&p->rgvarg[0]));
            if (--g_left == 0) {
                std::printf("  host: enough codes; DeactivateScanTask 0, from inside the handler\n");
                VARIANT zero = Arg(0);
                Call(L"DeactivateScanTask", &zero);
            }
        } else if (id == 3 && p->cArgs == 2 && V_VT(&p->rgvarg[1]) == VT_BSTR) {
            std::printf("  host: DeviceLost(\"%ls\", %ld): the scanner is away, the control looks for it\n",
                        V_BSTR(&p->rgvarg[1]), static_cast<long>(V_I4(&p->rgvarg[0])));
        } else if (id == 4 && p->cArgs == 1 && V_VT(&p->rgvarg[0]) == VT_BSTR) {
            std::printf("  host: DeviceBack(\"%ls\"): the session goes on\n", V_BSTR(&p->rgvarg[0]));
        } else if (id == 2 && p->cArgs == 1 && V_VT(&p->rgvarg[0]) == VT_I4) {
            static const char* const why[] = {"the scanner's ENDSCAN", "stopped by the host", "device closed",
                                              "the task could not start"};
            const LONG reason = V_I4(&p->rgvarg[0]);
            std::printf("  host: ScanEnded(%ld): %s\n", reason, reason >= 0 && reason < 4 ? why[reason] : "?");
            PostQuitMessage(0);
        }
        std::fflush(stdout);
        return S_OK;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvanta_event_host PORT COUNT\n");
        return 2;
    }
    g_left = std::atoi(argv[2]);
    OleInitialize(nullptr);
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"ORVANTA.OrvantaCtrl.1", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&g_ctrl)))) {
        std::printf("  host: the control is not registered\n");
        return 1;
    }
    IProvideClassInfo2* info = nullptr;
    IConnectionPointContainer* cpc = nullptr;
    IConnectionPoint* point = nullptr;
    IID source = IID_NULL;
    Sink sink;
    DWORD cookie = 0;
    if (FAILED(g_ctrl->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info))) ||
        FAILED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)) ||
        FAILED(g_ctrl->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc))) ||
        FAILED(cpc->FindConnectionPoint(source, &point)) || FAILED(point->Advise(&sink, &cookie))) {
        std::printf("  host: cannot connect to the control's events\n");
        return 1;
    }
    std::printf("  host: connected a sink to _DOrvantaEvents (cookie %lu)\n", cookie);
    VARIANT v = Arg(argv[1]);
    VARIANT opened = Call(L"OpenDevice", &v);
    VariantClear(&v);
    v = Arg("");
    Call(L"SetCOMSettings", &v);
    VariantClear(&v);
    VARIANT yes;
    V_VT(&yes) = VT_BOOL;
    V_BOOL(&yes) = VARIANT_TRUE;
    Call(L"withACKN", &yes, true);
    Call(L"onlyWorkwithCurrentWindow", &yes, true);
    VARIANT none = Arg(-1);  // no window: the codes come only as events
    Call(L"scanWindowHandle", &none, true);
    VARIANT task = Call(L"ActivateScanTask");
    std::printf("  host: OpenDevice %s, ActivateScanTask -> %ld (messages, scanWindowHandle -1)\n",
                V_BOOL(&opened) ? "True" : "False", V_I4(&task));
    std::fflush(stdout);
    // The host's message loop: the events arrive through it.
    SetTimer(nullptr, 0, 60000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        DispatchMessageW(&msg);
    }
    point->Unadvise(cookie);
    point->Release();
    cpc->Release();
    info->Release();
    Call(L"CloseDevice");
    g_ctrl->Release();
    OleUninitialize();
    return 0;
}
