// Persistence: streams, storages and property bags, all through one record.
#include "framework/control_base.h"

namespace framework {

namespace {

constexpr wchar_t kContentsStream[] = L"Contents";

bool ReadExactly(IStream* stream, void* into, ULONG size) {
    ULONG got = 0;
    return SUCCEEDED(stream->Read(into, size, &got)) && got == size;
}

HRESULT ReadBagLong(IPropertyBag* bag, IErrorLog* log, const char* name, std::int32_t& out,
                    bool& present) {
    const std::wstring wide = ToWide(name);
    Variant v;
    V_VT(v.get()) = VT_I4;
    const HRESULT hr = bag->Read(wide.c_str(), v.get(), log);
    if (FAILED(hr)) {
        present = false;
        return S_OK;
    }
    Variant converted;
    if (FAILED(VariantChangeType(converted.get(), v.get(), 0, VT_I4))) return E_INVALIDARG;
    out = V_I4(converted.get());
    present = true;
    return S_OK;
}

HRESULT WriteBagLong(IPropertyBag* bag, const char* name, std::int32_t value) {
    const std::wstring wide = ToWide(name);
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return bag->Write(wide.c_str(), &v);
}

}  // namespace

// ---- Persistence

void ControlBase::ExchangeVersion(PropExchange& px, std::uint32_t version, bool convert) {
    if (px.IsLoading()) {
        const std::uint32_t stored = px.state.version;
        if (px.status == framework::Status::kOk &&
            ((stored >> 16) != (version >> 16) || stored > version || (!convert && stored != version)))
            px.status = framework::Status::kBadVersion;
    } else {
        px.state.version = version;
    }
}

void ControlBase::DoPropExchange(PropExchange& px) {
    switch (px.mode) {
    case PropExchange::Mode::kLoad:
        if (px.status != framework::Status::kOk) return;
        if (framework::Validate(px.state, class_.persist_version) != framework::Status::kOk) {
            px.status = framework::Status::kBadValue;
            return;
        }
        extent_.cx = px.state.extent_x;
        extent_.cy = px.state.extent_y;
        break;
    case PropExchange::Mode::kSave:
        px.state.extent_x = extent_.cx;
        px.state.extent_y = extent_.cy;
        px.state.stock_props = 0;  // no stock properties
        break;
    case PropExchange::Mode::kReset:
        extent_.cx = kDefaultExtentX;
        extent_.cy = kDefaultExtentY;
        break;
    }
}

void ControlBase::OnResetState() {
    PropExchange px{PropExchange::Mode::kReset, {}};
    DoPropExchange(px);
    InvalidateControl();
}

HRESULT ControlBase::LoadState(const unsigned char* data, std::size_t size) {
    PropExchange px{PropExchange::Mode::kLoad, {}};
    px.status = framework::Decode(data, size, class_.persist_version, px.state);
    if (px.status != framework::Status::kOk) return E_FAIL;
    // The extent changes only with a load that succeeds whole.
    const SIZEL before = extent_;
    DoPropExchange(px);
    if (px.status != framework::Status::kOk) {
        extent_ = before;
        return E_FAIL;
    }
    SetModifiedFlag(false);
    InvalidateControl();
    return S_OK;
}

STDMETHODIMP ControlBase::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = *class_.clsid;
    return S_OK;
}

STDMETHODIMP ControlBase::IsDirty() { return IsModified() ? S_OK : S_FALSE; }

STDMETHODIMP ControlBase::Load(LPSTREAM stream) {
    if (!stream) return E_POINTER;
    unsigned char record[framework::kRecordSize];
    // The header first: it says whether the rest is ours to read at all.
    if (!ReadExactly(stream, record, framework::kHeaderSize)) return E_FAIL;
    if (framework::CheckHeader(record, framework::kHeaderSize) != framework::Status::kOk) return E_FAIL;
    if (!ReadExactly(stream, record + framework::kHeaderSize, framework::kBodySize)) return E_FAIL;
    return Guard([&] { return LoadState(record, sizeof record); });
}

STDMETHODIMP ControlBase::Save(LPSTREAM stream, BOOL clear_dirty) {
    if (!stream) return E_POINTER;
    return Guard([&] {
        PropExchange px{PropExchange::Mode::kSave, {}};
        DoPropExchange(px);
        unsigned char record[framework::kRecordSize];
        framework::Encode(px.state, record);
        ULONG written = 0;
        const HRESULT hr = stream->Write(record, sizeof record, &written);
        if (FAILED(hr)) return hr;
        if (written != sizeof record) return STG_E_MEDIUMFULL;
        if (clear_dirty) SetModifiedFlag(false);
        return S_OK;
    });
}

STDMETHODIMP ControlBase::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = framework::kRecordSize;
    return S_OK;
}

STDMETHODIMP ControlBase::InitNew() {
    return Guard([&] {
        OnResetState();
        SetModifiedFlag(false);
        return S_OK;
    });
}

STDMETHODIMP ControlBase::InitNew(IStorage*) { return InitNew(); }

STDMETHODIMP ControlBase::Load(IStorage* storage) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    const HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                           stream.put());
    if (FAILED(hr)) return hr;
    return Load(stream.get());
}

STDMETHODIMP ControlBase::Save(IStorage* storage, BOOL) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    const HRESULT hr = storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                             0, 0, stream.put());
    if (FAILED(hr)) return hr;
    return Save(stream.get(), TRUE);
}

STDMETHODIMP ControlBase::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP ControlBase::HandsOffStorage() { return S_OK; }

STDMETHODIMP ControlBase::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    return Guard([&] {
        std::int32_t version = 0, x = 0, y = 0, stock = 0;
        bool has_version = false, has_x = false, has_y = false, has_stock = false;
        HRESULT hr = ReadBagLong(bag, log, framework::kNameVersion, version, has_version);
        if (SUCCEEDED(hr)) hr = ReadBagLong(bag, log, framework::kNameExtentX, x, has_x);
        if (SUCCEEDED(hr)) hr = ReadBagLong(bag, log, framework::kNameExtentY, y, has_y);
        if (SUCCEEDED(hr)) hr = ReadBagLong(bag, log, framework::kNameStockProps, stock, has_stock);
        if (FAILED(hr)) return hr;
        // A page that names none of them (a bare <object> tag) gets a new control.
        if (!has_version && !has_x && !has_y && !has_stock) return InitNew();
        framework::ControlState state;
        state.version = has_version ? static_cast<std::uint32_t>(version) : class_.persist_version;
        state.extent_x = has_x ? x : extent_.cx;
        state.extent_y = has_y ? y : extent_.cy;
        state.stock_props = has_stock ? static_cast<std::uint32_t>(stock) : 0;
        unsigned char record[framework::kRecordSize];
        framework::Encode(state, record);
        return LoadState(record, sizeof record);
    });
}

STDMETHODIMP ControlBase::Save(IPropertyBag* bag, BOOL clear_dirty, BOOL) {
    if (!bag) return E_POINTER;
    return Guard([&] {
        PropExchange px{PropExchange::Mode::kSave, {}};
        DoPropExchange(px);
        HRESULT hr = WriteBagLong(bag, framework::kNameVersion, static_cast<std::int32_t>(px.state.version));
        if (SUCCEEDED(hr)) hr = WriteBagLong(bag, framework::kNameExtentX, px.state.extent_x);
        if (SUCCEEDED(hr)) hr = WriteBagLong(bag, framework::kNameExtentY, px.state.extent_y);
        if (SUCCEEDED(hr))
            hr = WriteBagLong(bag, framework::kNameStockProps, static_cast<std::int32_t>(px.state.stock_props));
        if (SUCCEEDED(hr) && clear_dirty) SetModifiedFlag(false);
        return hr;
    });
}

}  // namespace framework
