// A connection point for one dispatch event interface: several sinks, each
// with its cookie, and firing that keeps each sink alive during its call and
// lets a sink unadvise, fail or call back into the object while it runs.
// Its lifetime is its container's.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <vector>

#include "framework/com_util.h"

namespace framework {

class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer& container, const IID& iid) : container_(container), iid_(iid) {}
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return container_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return container_.Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    // Whether a sink is connected; readable from any thread.
    bool HasSinks() const { return connected_.load() > 0; }
    // Calls `dispid` with `args` (first argument first) on every sink
    // connected now and still connected when its turn comes. Each sink gets
    // its own copy of the arguments; what a sink answers is ignored.
    void Fire(DISPID dispid, const VARIANT* args, UINT count) noexcept;

private:
    IConnectionPointContainer& container_;
    const IID& iid_;
    std::vector<ComPtr<IDispatch>> sinks_;  // index + 1 is the cookie
    std::atomic<int> connected_{0};
};

}  // namespace framework
