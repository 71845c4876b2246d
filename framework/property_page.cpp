#include "framework/property_page.h"

#include "framework/module.h"

namespace framework {

namespace {
INT_PTR CALLBACK ProbeProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

PropertyPageBase::PropertyPageBase(UINT template_id, UINT caption_id)
    : template_id_(template_id), caption_id_(caption_id) {}

PropertyPageBase::~PropertyPageBase() {
    if (hwnd_) DestroyWindow(hwnd_);
}

STDMETHODIMP PropertyPageBase::QueryInterface(REFIID iid, void** ppv) {
    static const InterfaceEntry table[] = {{&IID_IPropertyPage, 0}};
    return QueryFromTable(static_cast<IPropertyPage*>(this), table, 1, iid, ppv);
}

STDMETHODIMP_(ULONG) PropertyPageBase::AddRef() { return refs_.Add(); }

STDMETHODIMP_(ULONG) PropertyPageBase::Release() { return refs_.Drop(this); }

STDMETHODIMP PropertyPageBase::SetPageSite(IPropertyPageSite* site) {
    if (site && site_) return E_UNEXPECTED;
    site_ = ComPtr<IPropertyPageSite>::Copy(site);
    return S_OK;
}

STDMETHODIMP PropertyPageBase::Activate(HWND parent, LPCRECT rect, BOOL) {
    if (!rect) return E_POINTER;
    if (hwnd_) return E_UNEXPECTED;
    hwnd_ = CreateDialogParamA(framework::ModuleInstance(), MAKEINTRESOURCEA(template_id_), parent,
                               &PropertyPageBase::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd_) return E_OUTOFMEMORY;
    Move(rect);
    return S_OK;
}

STDMETHODIMP PropertyPageBase::Deactivate() {
    if (!hwnd_) return E_UNEXPECTED;
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    return S_OK;
}

SIZE PropertyPageBase::TemplateSize() const {
    // The frame wants pixels before the page exists: measure a hidden copy,
    // the only way to honour the template's own font.
    SIZE size = {0, 0};
    HWND holder = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  framework::ModuleInstance(), nullptr);
    if (!holder) return size;
    HWND probe = CreateDialogParamA(framework::ModuleInstance(), MAKEINTRESOURCEA(template_id_), holder,
                                    &ProbeProc, 0);
    if (probe) {
        RECT r;
        GetWindowRect(probe, &r);
        size.cx = r.right - r.left;
        size.cy = r.bottom - r.top;
        DestroyWindow(probe);
    }
    DestroyWindow(holder);
    return size;
}

STDMETHODIMP PropertyPageBase::GetPageInfo(PROPPAGEINFO* info) {
    if (!info) return E_POINTER;
    return Guard([&] {
        char caption[256] = {};
        LoadStringA(framework::ModuleInstance(), caption_id_, caption, sizeof caption);
        info->cb = sizeof *info;
        info->pszTitle = CoTaskString(ToWide(caption));
        if (!info->pszTitle) return E_OUTOFMEMORY;
        info->size = TemplateSize();
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::SetObjects(ULONG count, IUnknown** objects) {
    if (count && !objects) return E_POINTER;
    return Guard([&] {
        objects_.clear();
        for (ULONG i = 0; i < count; ++i) objects_.push_back(ComPtr<IUnknown>::Copy(objects[i]));
        if (hwnd_) DoDataExchange(false);
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::Show(UINT cmd) {
    if (!hwnd_) return E_UNEXPECTED;
    ShowWindow(hwnd_, static_cast<int>(cmd));
    return S_OK;
}

STDMETHODIMP PropertyPageBase::Move(LPCRECT rect) {
    if (!rect) return E_POINTER;
    if (!hwnd_) return E_UNEXPECTED;
    MoveWindow(hwnd_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

STDMETHODIMP PropertyPageBase::IsPageDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP PropertyPageBase::Apply() {
    return Guard([&] {
        if (hwnd_) DoDataExchange(true);
        SetModified(false);
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::Help(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP PropertyPageBase::TranslateAccelerator(MSG* msg) {
    if (!msg) return E_POINTER;
    return hwnd_ && IsDialogMessageA(hwnd_, msg) ? S_OK : S_FALSE;
}

BOOL PropertyPageBase::OnInitDialog() { return FALSE; }

void PropertyPageBase::SetModified(bool dirty) {
    dirty_ = dirty;
    if (site_) site_->OnStatusChange(dirty ? PROPPAGESTATUS_DIRTY : PROPPAGESTATUS_CLEAN);
}

INT_PTR CALLBACK PropertyPageBase::DialogProc(HWND dialog, UINT msg, WPARAM, LPARAM lparam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        auto* self = reinterpret_cast<PropertyPageBase*>(lparam);
        self->hwnd_ = dialog;
        self->DoDataExchange(false);
        return self->OnInitDialog();
    }
    return FALSE;
}

}  // namespace framework
