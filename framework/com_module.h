// The module's one lock count and its list of class objects. Every live
// object, every LockServer(TRUE) and every reference a host holds to a class
// object counts, so DllCanUnloadNow can answer truthfully.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace framework {

void LockModule() noexcept;
void UnlockModule() noexcept;
long ModuleLockCount() noexcept;

// Counts one live object for the module, for the object's whole life.
class ModuleObjectCount {
public:
    ModuleObjectCount() noexcept { LockModule(); }
    ModuleObjectCount(const ModuleObjectCount&) noexcept { LockModule(); }
    ModuleObjectCount& operator=(const ModuleObjectCount&) noexcept { return *this; }
    ~ModuleObjectCount() { UnlockModule(); }
};

// Makes a new object and answers for `iid`; E_OUTOFMEMORY and so on.
using CreateFunction = HRESULT (*)(REFIID iid, void** ppv);
// Writes (true) or removes (false) the class's registry entries.
using UpdateRegistryFunction = bool (*)(bool register_class);

// A class object: static, so its own lifetime is the module's; references
// to it count as module locks.
class ClassFactory final : public IClassFactory {
public:
    ClassFactory(const CLSID& clsid, CreateFunction create, UpdateRegistryFunction update) noexcept;

    const CLSID& Clsid() const noexcept { return clsid_; }
    bool UpdateRegistry(bool register_class) const { return update_(register_class); }
    void MarkAvailable(bool available) noexcept { available_ = available; }
    bool IsAvailable() const noexcept { return available_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    const CLSID& clsid_;
    CreateFunction create_;
    UpdateRegistryFunction update_;
    bool available_ = false;
};

// The module object: holds the class objects in order. OfferClasses (at
// process attach) marks them available to DllGetClassObject;
// WithdrawClasses (at detach) takes them back.
class ControlModule {
public:
    ControlModule(ClassFactory* const* factories, unsigned count) noexcept
        : factories_(factories), count_(count) {}

    void OfferClasses() noexcept;
    void WithdrawClasses() noexcept;

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv);
    HRESULT CanUnloadNow() const;
    // Each class object's UpdateRegistry in turn, stopping at the first failure.
    bool UpdateRegistryAll(bool register_classes) const;

private:
    ClassFactory* const* factories_;
    unsigned count_;
};

}  // namespace framework
