// IViewObject2: the design-time picture and its change notifications.
#include "framework/control_base.h"

namespace framework {

// ---- IViewObject2

STDMETHODIMP ControlBase::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw_dc,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!draw_dc) return E_INVALIDARG;
    RECT rect;
    if (bounds) {
        rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    } else if (windowless_site_) {
        rect = pos_;  // a windowless control draws where it sits
    } else {
        return E_INVALIDARG;
    }
    return Guard([&] {
        OnDraw(draw_dc, rect, rect);
        return S_OK;
    });
}

STDMETHODIMP ControlBase::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return S_FALSE;
}

STDMETHODIMP ControlBase::Freeze(DWORD, LONG, void*, DWORD* freeze) {
    if (freeze) *freeze = 0;
    return E_NOTIMPL;
}

STDMETHODIMP ControlBase::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    view_sink_ = ComPtr<IAdviseSink>::Copy(sink);
    view_aspects_ = aspects;
    view_flags_ = flags;
    if (sink && (flags & ADVF_PRIMEFIRST)) sink->OnViewChange(DVASPECT_CONTENT, -1);
    return S_OK;
}

STDMETHODIMP ControlBase::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = view_aspects_;
    if (flags) *flags = view_flags_;
    if (sink) *sink = ComPtr<IAdviseSink>::Copy(view_sink_.get()).detach();
    return S_OK;
}

STDMETHODIMP ControlBase::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

void ControlBase::InvalidateControl() {
    if (windowless_site_) windowless_site_->InvalidateRect(nullptr, TRUE);
    else if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
    if (view_sink_) view_sink_->OnViewChange(DVASPECT_CONTENT, -1);
}

}  // namespace framework
