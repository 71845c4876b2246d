#include "tests/wine/com_host.h"

namespace orvanta::testing {

template <typename F>
F Export(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

Ocx::Ocx() {
    module_ = LoadLibraryA(OcxPath().c_str());
    if (!module_) return;
    get_ = Export<GetClassObjectFn>(module_, "DllGetClassObject");
    can_unload_ = Export<NoArgFn>(module_, "DllCanUnloadNow");
    register_ = Export<NoArgFn>(module_, "DllRegisterServer");
    unregister_ = Export<NoArgFn>(module_, "DllUnregisterServer");
    if (!get_ || !can_unload_ || !register_ || !unregister_) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

Ocx::~Ocx() {
    if (module_) FreeLibrary(module_);
}

HRESULT Ocx::CreateControl(REFIID iid, void** out) {
    Ptr<IClassFactory> factory;
    HRESULT hr = get_(CLSID_Orvanta, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, out);
}

Canvas::Canvas(int width, int height, COLORREF poison) : width_(width), height_(height) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* raw = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = dc_ ? CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &raw, nullptr, 0) : nullptr;
    if (!bitmap_ || !raw) return;
    old_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<DWORD*>(raw);
    const DWORD p = (GetRValue(poison) << 16) | (GetGValue(poison) << 8) | GetBValue(poison);
    for (int i = 0; i < width * height; ++i) bits_[i] = p;
    SelectObject(dc_, GetStockObject(BLACK_PEN));
    SelectObject(dc_, GetStockObject(WHITE_BRUSH));
}

Canvas::~Canvas() {
    if (old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
}

COLORREF Canvas::Pixel(int x, int y) const {
    GdiFlush();
    const DWORD p = bits_[y * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Canvas::Count(COLORREF colour) const {
    GdiFlush();
    const DWORD want = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    int n = 0;
    for (int i = 0; i < width_ * height_; ++i) n += (bits_[i] & 0x00FFFFFF) == want;
    return n;
}

HRESULT CallDispatch(IDispatch* d, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result,
                     UINT* arg_error) {
    DISPPARAMS params = {args, nullptr, count, 0};
    UINT ignored = 0;
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                     arg_error ? arg_error : &ignored);
}

HRESULT PutProperty(IDispatch* d, DISPID id, VARIANT value) {
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &put, 1, 1};
    UINT ignored = 0;
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                     &ignored);
}

}  // namespace orvanta::testing
