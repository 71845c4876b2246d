// OrvantaPropertyPage: the control's one property page. It edits nothing: it
// says the control has no properties and shows the maker's lines.
#pragma once

#include <windows.h>

#include "framework/property_page.h"

namespace orvanta {

class OrvantaPropertyPage final : public framework::PropertyPageBase {
public:
    static HRESULT Create(REFIID iid, void** ppv);

private:
    OrvantaPropertyPage();
    BOOL OnInitDialog() override;
    // Binds the hidden edit field; no property is exchanged, so applying
    // the page writes nothing back.
    void DoDataExchange(bool save) override;

    HWND edit_settings_ = nullptr;
};

}  // namespace orvanta
