#include "framework/com_module.h"

#include <atomic>

#include "framework/com_util.h"

namespace framework {

namespace {
std::atomic<long> g_locks{0};
}

void LockModule() noexcept { ++g_locks; }
void UnlockModule() noexcept { --g_locks; }
long ModuleLockCount() noexcept { return g_locks.load(); }

ClassFactory::ClassFactory(const CLSID& clsid, CreateFunction create, UpdateRegistryFunction update) noexcept
    : clsid_(clsid), create_(create), update_(update) {}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** ppv) {
    static const InterfaceEntry table[] = {{&IID_IClassFactory, 0}};
    return QueryFromTable(static_cast<IClassFactory*>(this), table, 1, iid, ppv);
}

// The object is static; its count is the module's.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    LockModule();
    return 2;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    UnlockModule();
    return 1;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock) LockModule();
    else UnlockModule();
    return S_OK;
}

void ControlModule::OfferClasses() noexcept {
    for (unsigned i = 0; i < count_; ++i) factories_[i]->MarkAvailable(true);
}

void ControlModule::WithdrawClasses() noexcept {
    for (unsigned i = 0; i < count_; ++i) factories_[i]->MarkAvailable(false);
}

HRESULT ControlModule::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (unsigned i = 0; i < count_; ++i) {
        ClassFactory* f = factories_[i];
        if (f->IsAvailable() && IsEqualCLSID(clsid, f->Clsid())) return f->QueryInterface(iid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ControlModule::CanUnloadNow() const { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

bool ControlModule::UpdateRegistryAll(bool register_classes) const {
    for (unsigned i = 0; i < count_; ++i)
        if (!factories_[i]->UpdateRegistry(register_classes)) return false;
    return true;
}

}  // namespace framework
