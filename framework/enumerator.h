// One enumerator for the IEnumXxx interfaces the control hands out: verbs,
// connection points, connections. The items are a snapshot shared by an
// enumerator and its clones; each enumerator keeps only its position.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "framework/com_module.h"
#include "framework/com_util.h"

namespace framework {

// Traits name the interface and its IID, the item held (`Item`), the element
// Next fills (`Out`), how one element is filled (`Copy`, may fail) and how a
// filled one is undone (`Clear`).
template <typename Traits>
class Enumerator final : public Traits::Interface {
public:
    using Interface = typename Traits::Interface;
    using Item = typename Traits::Item;
    using Out = typename Traits::Out;
    using Items = std::vector<Item>;

    static HRESULT Create(Items items, Interface** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&] {
            *out = new Enumerator(std::make_shared<const Items>(std::move(items)), 0);
            return S_OK;
        });
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        const InterfaceEntry table[] = {{&Traits::Iid(), 0}};
        return QueryFromTable(static_cast<Interface*>(this), table, 1, iid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs_.Drop(this); }

    STDMETHODIMP Next(ULONG count, Out* out, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (!out) return E_POINTER;
        if (!fetched && count != 1) return E_INVALIDARG;
        ULONG done = 0;
        for (; done < count && position_ + done < items_->size(); ++done) {
            const HRESULT hr = Traits::Copy((*items_)[position_ + done], out[done]);
            if (FAILED(hr)) {
                // All or nothing: what was filled is taken back, the position stays.
                while (done > 0) Traits::Clear(out[--done]);
                return hr;
            }
        }
        position_ += done;
        if (fetched) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override {
        const std::size_t left = items_->size() - position_;
        if (count > left) {
            position_ = items_->size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }

    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(Interface** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&] {
            *out = new Enumerator(items_, position_);
            return S_OK;
        });
    }

private:
    Enumerator(std::shared_ptr<const Items> items, std::size_t position) noexcept
        : items_(std::move(items)), position_(position) {}
    ~Enumerator() = default;
    friend class RefCount;  // deletes at the last Release

    ModuleObjectCount module_count_;
    RefCount refs_;
    std::shared_ptr<const Items> items_;
    std::size_t position_;
};

}  // namespace framework
