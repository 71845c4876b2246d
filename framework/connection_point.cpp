#include "framework/connection_point.h"

#include <utility>

#include "framework/enumerator.h"

namespace framework {

namespace {

// A snapshot of the connections: Unadvise during the walk changes nothing here.
struct Connection {
    ComPtr<IUnknown> sink;
    DWORD cookie;
};

struct ConnectionTraits {
    using Interface = IEnumConnections;
    using Item = Connection;
    using Out = CONNECTDATA;
    static const IID& Iid() { return IID_IEnumConnections; }
    static HRESULT Copy(const Connection& c, CONNECTDATA& out) noexcept {
        out.pUnk = ComPtr<IUnknown>::Copy(c.sink.get()).detach();
        out.dwCookie = c.cookie;
        return S_OK;
    }
    static void Clear(CONNECTDATA& out) noexcept {
        ComPtr<IUnknown>::Attach(std::exchange(out.pUnk, nullptr));  // released here
    }
};

}  // namespace

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** ppv) {
    static const InterfaceEntry table[] = {{&IID_IConnectionPoint, 0}};
    return QueryFromTable(static_cast<IConnectionPoint*>(this), table, 1, iid, ppv);
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
    if (!cpc) return E_POINTER;
    *cpc = ComPtr<IConnectionPointContainer>::Copy(&container_).detach();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    return Guard([&] {
        // The event interface itself, or plain IDispatch: both are called by DISPID.
        ComPtr<IDispatch> events;
        if (FAILED(sink->QueryInterface(iid_, events.put_void())) &&
            FAILED(sink->QueryInterface(IID_IDispatch, events.put_void())))
            return CONNECT_E_CANNOTCONNECT;
        if (!events) return CONNECT_E_CANNOTCONNECT;
        std::size_t at = 0;
        while (at < sinks_.size() && sinks_[at]) ++at;
        if (at == sinks_.size()) sinks_.emplace_back();
        sinks_[at] = std::move(events);
        ++connected_;
        *cookie = static_cast<DWORD>(at + 1);
        return S_OK;
    });
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1]) return CONNECT_E_NOCONNECTION;
    // Released after the slot is empty: the sink's teardown may call back in.
    ComPtr<IDispatch> gone = std::move(sinks_[cookie - 1]);
    sinks_[cookie - 1].reset();
    --connected_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    *connections = nullptr;
    return Guard([&] {
        std::vector<Connection> current;
        for (std::size_t i = 0; i < sinks_.size(); ++i)
            if (sinks_[i]) current.push_back({ComPtr<IUnknown>::Copy(sinks_[i].get()), static_cast<DWORD>(i + 1)});
        return Enumerator<ConnectionTraits>::Create(std::move(current), connections);
    });
}

void ConnectionPoint::Fire(DISPID dispid, const VARIANT* args, UINT count) noexcept {
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> now;
    std::vector<VARIANT> copies(count);
    try {
        for (std::size_t i = 0; i < sinks_.size(); ++i)
            if (sinks_[i]) now.emplace_back(static_cast<DWORD>(i + 1), sinks_[i]);
    } catch (...) {
        return;  // out of memory: this event reaches nobody
    }
    for (auto& [cookie, sink] : now) {
        // A sink an earlier one disconnected is not called any more.
        if (cookie > sinks_.size() || sinks_[cookie - 1].get() != sink.get()) continue;
        // DISPPARAMS holds the arguments last first.
        for (UINT i = 0; i < count; ++i) {
            VariantInit(&copies[count - 1 - i]);
            VariantCopy(&copies[count - 1 - i], const_cast<VARIANT*>(&args[i]));
        }
        DISPPARAMS params = {copies.data(), nullptr, count, 0};
        Variant result;
        EXCEPINFO excep = {};
        UINT arg_error = 0;
        sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), &excep,
                     &arg_error);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        for (VARIANT& v : copies) VariantClear(&v);
    }
}

}  // namespace framework
