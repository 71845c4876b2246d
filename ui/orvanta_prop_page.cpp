#include "ui/orvanta_prop_page.h"

#include "orvanta.h"
#include "resource.h"

namespace orvanta {

COrvantaPropPage::COrvantaPropPage() : PropertyPageBase(IDD_PROPPAGE, IDS_ORVANTA_PPG_CAPTION) {}

HRESULT COrvantaPropPage::Create(REFIID iid, void** ppv) {
    return com::Guard([&] {
        auto* page = new COrvantaPropPage();
        const HRESULT hr = page->QueryInterface(iid, ppv);
        page->Release();
        return hr;
    });
}

const CLSID& COrvantaPropPage::GetClassID() { return CLSID_OrvantaPropPage; }

BOOL COrvantaPropPage::OnInitDialog() {
    PropertyPageBase::OnInitDialog();
    SetWindowTextA(m_editSettings, "");
    return TRUE;
}

void COrvantaPropPage::DoDataExchange(bool) { m_editSettings = GetDlgItem(Window(), IDC_PROPPAGE_SETTINGS); }

}  // namespace orvanta
