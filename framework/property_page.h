// The property-page base: IPropertyPage over a child dialog template. A
// derived page supplies its initialisation and its data exchange; the host's
// frame does the rest.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <atomic>
#include <vector>

#include "framework/com_module.h"
#include "framework/com_util.h"

namespace framework {

class PropertyPageBase : public IPropertyPage {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT cmd) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    STDMETHODIMP IsPageDirty() override;
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR dir) override;
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;

    HWND Window() const { return hwnd_; }

protected:
    PropertyPageBase(UINT template_id, UINT caption_id);
    virtual ~PropertyPageBase();
    friend class RefCount;  // deletes at the last Release

    // After the dialog exists; the return value is WM_INITDIALOG's.
    virtual BOOL OnInitDialog();
    // save: page to objects (on Apply); else objects to page.
    virtual void DoDataExchange(bool save) = 0;
    void SetModified(bool dirty);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
    SIZE TemplateSize() const;

    ModuleObjectCount module_count_;
    RefCount refs_;
    UINT template_id_, caption_id_;
    ComPtr<IPropertyPageSite> site_;
    std::vector<ComPtr<IUnknown>> objects_;
    HWND hwnd_ = nullptr;
    bool dirty_ = false;
};

}  // namespace framework
