#include "control/orvanta_property_page.h"

#include "resource.h"

namespace orvanta {

OrvantaPropertyPage::OrvantaPropertyPage() : PropertyPageBase(IDD_PROPPAGE, IDS_ORVANTA_PPG_CAPTION) {}

HRESULT OrvantaPropertyPage::Create(REFIID iid, void** ppv) {
    return framework::Guard([&] {
        const auto page = framework::ComPtr<OrvantaPropertyPage>::Attach(new OrvantaPropertyPage());
        return page->QueryInterface(iid, ppv);
    });
}

BOOL OrvantaPropertyPage::OnInitDialog() {
    PropertyPageBase::OnInitDialog();
    SetWindowTextA(edit_settings_, "");
    return TRUE;
}

void OrvantaPropertyPage::DoDataExchange(bool) { edit_settings_ = GetDlgItem(Window(), IDC_PROPPAGE_SETTINGS); }

}  // namespace orvanta
