// In-place activation with the control's window (or without one), and
// IOleInPlaceObject, IOleInPlaceActiveObject and IOleControl.
#include "framework/control_base.h"

#include "framework/module.h"

namespace framework {

namespace {

// Windowed controls share one class; it goes when the last window does, so
// no class outlives the module that holds its window procedure.
int g_windows = 0;

}  // namespace

// ---- In-place activation

HRESULT ControlBase::ActivateInPlace(bool ui_activate) {
    if (!site_) return E_UNEXPECTED;
    if (!inplace_site_) {
        auto windowless = site_.As<IOleInPlaceSiteWindowless>(IID_IOleInPlaceSiteWindowless);
        ComPtr<IOleInPlaceSite> site;
        bool go_windowless = false;
        // Windowless where the host allows it: the host then draws us.
        if (windowless && (GetControlFlags() & kWindowlessActivate) &&
            windowless->CanWindowlessActivate() == S_OK) {
            site = windowless.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
            go_windowless = true;
        } else {
            site = site_.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
        }
        if (!site) return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        HRESULT hr;
        if (go_windowless) {
            BOOL no_redraw = FALSE;
            hr = windowless->OnInPlaceActivateEx(&no_redraw, ACTIVATE_WINDOWLESS);
        } else {
            hr = site->OnInPlaceActivate();
        }
        if (FAILED(hr)) return hr;
        inplace_site_ = site;
        if (go_windowless) windowless_site_ = windowless;

        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof info;
        RECT pos = {}, clip = {};
        if (SUCCEEDED(site->GetWindowContext(frame_.put(), doc_window_.put(), &pos, &clip, &info))) {
            pos_ = pos;
            clip_ = clip;
        }
        if (!go_windowless) {
            HWND parent = nullptr;
            hr = site->GetWindow(&parent);
            if (SUCCEEDED(hr)) hr = CreateControlWindow(parent);
            if (FAILED(hr)) {
                InPlaceDeactivate();
                return hr;
            }
        }
    }
    if (ui_activate && !ui_active_) {
        ui_active_ = true;
        inplace_site_->OnUIActivate();
        if (hwnd_) SetFocus(hwnd_);
        else if (windowless_site_) windowless_site_->SetFocus(TRUE);
        auto* active = static_cast<IOleInPlaceActiveObject*>(this);
        if (frame_) {
            frame_->SetActiveObject(active, nullptr);
            frame_->SetBorderSpace(nullptr);
        }
        if (doc_window_) {
            doc_window_->SetActiveObject(active, nullptr);
            doc_window_->SetBorderSpace(nullptr);
        }
    }
    return S_OK;
}

HRESULT ControlBase::CreateControlWindow(HWND parent) {
    const HINSTANCE instance = framework::ModuleInstance();
    if (g_windows == 0) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = &ControlBase::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = class_.window_class;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return HRESULT_FROM_WIN32(GetLastError());
    }
    hwnd_ = CreateWindowExW(0, class_.window_class, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE, pos_.left,
                            pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top, parent, nullptr,
                            instance, this);
    if (!hwnd_) {
        const DWORD error = GetLastError();
        if (g_windows == 0) UnregisterClassW(class_.window_class, instance);
        return HRESULT_FROM_WIN32(error ? error : ERROR_INVALID_WINDOW_HANDLE);
    }
    ++g_windows;
    return S_OK;
}

void ControlBase::DestroyControlWindow() {
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    if (--g_windows == 0) UnregisterClassW(class_.window_class, framework::ModuleInstance());
}

LRESULT CALLBACK ControlBase::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<ControlBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;  // OnDraw paints every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (self) {
            RECT client;
            GetClientRect(hwnd, &client);
            // Nothing may unwind through the window procedure.
            Guard([&] {
                self->OnDraw(dc, client, ps.rcPaint);
                return S_OK;
            });
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        if (self && !self->ui_active_) self->ActivateInPlace(true);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

STDMETHODIMP ControlBase::GetWindow(HWND* hwnd) {
    if (!hwnd) return E_POINTER;
    *hwnd = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP ControlBase::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::InPlaceDeactivate() {
    if (!inplace_site_) return S_OK;
    UIDeactivate();
    DestroyControlWindow();
    ComPtr<IOleInPlaceSite> site = inplace_site_;
    ComPtr<IOleInPlaceSiteWindowless> windowless = windowless_site_;
    inplace_site_.reset();
    windowless_site_.reset();
    frame_.reset();
    doc_window_.reset();
    if (windowless) windowless->OnInPlaceDeactivateEx(TRUE);
    else site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP ControlBase::UIDeactivate() {
    if (!ui_active_) return S_OK;
    ui_active_ = false;
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (doc_window_) doc_window_->SetActiveObject(nullptr, nullptr);
    if (windowless_site_) windowless_site_->SetFocus(FALSE);
    if (inplace_site_) inplace_site_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP ControlBase::SetObjectRects(LPCRECT pos, LPCRECT clip) {
    if (!pos) return E_POINTER;
    pos_ = *pos;
    clip_ = clip ? *clip : *pos;
    if (hwnd_)
        MoveWindow(hwnd_, pos_.left, pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top, TRUE);
    return S_OK;
}

STDMETHODIMP ControlBase::ReactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP ControlBase::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) {
    if (result) *result = 0;
    return S_FALSE;  // the control handles no input
}

STDMETHODIMP ControlBase::GetDropTarget(IDropTarget** target) {
    if (target) *target = nullptr;
    return E_NOTIMPL;
}

// ---- IOleInPlaceActiveObject

STDMETHODIMP ControlBase::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP ControlBase::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ControlBase::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ControlBase::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP ControlBase::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl

STDMETHODIMP ControlBase::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;  // no mnemonics
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP ControlBase::OnMnemonic(MSG*) { return S_OK; }
STDMETHODIMP ControlBase::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP ControlBase::FreezeEvents(BOOL freeze) {
    freeze_count_ += freeze ? 1 : (freeze_count_ > 0 ? -1 : 0);
    // Events are held while the host is frozen (loading a form), not lost.
    events_.Freeze(freeze != FALSE);
    return S_OK;
}

}  // namespace framework
