#include "platform/win32/win32_ole_control.h"

#include "platform/win32/win32_unicode.h"

#include <commctrl.h>
#include <oleidl.h>

#include <atomic>

namespace lumora::platform {

namespace {


// A counted interface pointer.
template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  ~TComPtr() { Reset(); }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

RECT ToRect(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

// The container's side of one control: what the control asks of the window it lives in.
class TOleSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit TOleSite(HWND parent) : parent_(parent) {}
  void SetRect(const RECT& rect) { rect_ = rect; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
      *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
      *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame))
      *object = static_cast<IOleInPlaceFrame*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (both the in-place site's and the frame's)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = parent_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT pos,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame) {
      *frame = this;
      AddRef();
    }
    if (document) *document = nullptr;
    if (pos) *pos = rect_;
    if (clip) *clip = rect_;
    if (info) {
      info->fMDIApp = FALSE;
      info->hwndFrame = parent_;
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, tool space or accelerators.
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ~TOleSite() = default;
  std::atomic<ULONG> refs_{1};
  HWND parent_;
  RECT rect_{0, 0, 1, 1};
};

std::optional<TDispValue> FromVariant(VARIANT& v) {
  switch (v.vt) {
    case VT_BOOL: return TDispValue{v.boolVal != VARIANT_FALSE};
    case VT_BSTR: return TDispValue{Utf8FromWide(v.bstrVal ? std::wstring_view(v.bstrVal, ::SysStringLen(v.bstrVal)) : L"")};
    case VT_EMPTY: return TDispValue{};
    default: break;
  }
  VARIANT i4;
  ::VariantInit(&i4);
  if (FAILED(::VariantChangeType(&i4, &v, 0, VT_I4))) return std::nullopt;
  return TDispValue{static_cast<std::int32_t>(i4.lVal)};
}

class TWin32ActiveXControl final : public IActiveXControl {
 public:
  ~TWin32ActiveXControl() override {
    if (window_ != nullptr) ::RemoveWindowSubclass(window_, &SubclassProc, reinterpret_cast<UINT_PTR>(this));
    if (inPlace_) inPlace_->InPlaceDeactivate();
    if (object_) {
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
    }
    inPlace_.Reset();
    dispatch_.Reset();
    object_.Reset();
    if (site_ != nullptr) site_->Release();
  }

  // Made and activated, or null with the reason.
  static std::unique_ptr<TWin32ActiveXControl> Create(const CLSID& clsid, IClassFactory* factory, HWND parent,
                                                      TActiveXFailure& failure) {
    auto control = std::unique_ptr<TWin32ActiveXControl>(new TWin32ActiveXControl());
    HRESULT hr = factory != nullptr
                     ? factory->CreateInstance(nullptr, IID_IOleObject, control->object_.Out())
                     : ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, control->object_.Out());
    if (FAILED(hr)) {
      failure = ClassMissing(hr) ? TActiveXFailure::ClassNotRegistered : TActiveXFailure::OtherFailure;
      return nullptr;
    }
    failure = TActiveXFailure::OtherFailure;
    control->object_->QueryInterface(IID_IDispatch, control->dispatch_.Out());
    if (parent == nullptr) {
      failure = TActiveXFailure::NoFailure;
      return control;
    }
    control->site_ = new TOleSite(parent);
    if (FAILED(control->object_->SetClientSite(static_cast<IOleClientSite*>(control->site_)))) return nullptr;
    RECT rect{0, 0, 1, 1};
    control->site_->SetRect(rect);
    hr = control->object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(control->site_), 0,
                                  parent, &rect);
    if (FAILED(hr)) return nullptr;
    if (FAILED(control->object_->QueryInterface(IID_IOleInPlaceObject, control->inPlace_.Out()))) return nullptr;
    HWND window = nullptr;
    if (SUCCEEDED(control->inPlace_->GetWindow(&window)) && window != nullptr) {
      control->window_ = window;
      ::ShowWindow(window, SW_HIDE);
      ::SetWindowSubclass(window, &SubclassProc, reinterpret_cast<UINT_PTR>(control.get()), 0);
    }
    failure = TActiveXFailure::NoFailure;
    return control;
  }

  std::optional<TDispValue> GetProperty(std::string_view name) override {
    VARIANT result;
    ::VariantInit(&result);
    if (!Invoke(name, DISPATCH_PROPERTYGET, nullptr, &result)) return std::nullopt;
    std::optional<TDispValue> value = FromVariant(result);
    ::VariantClear(&result);
    return value;
  }

  bool SetProperty(std::string_view name, const TDispValue& value) override {
    VARIANT arg;
    ::VariantInit(&arg);
    if (const auto* b = std::get_if<bool>(&value)) {
      arg.vt = VT_BOOL;
      arg.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto* i = std::get_if<std::int32_t>(&value)) {
      arg.vt = VT_I4;
      arg.lVal = *i;
    } else if (const auto* s = std::get_if<std::string>(&value)) {
      const std::wstring wide = WideFromUtf8(*s);
      arg.vt = VT_BSTR;
      arg.bstrVal = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      if (arg.bstrVal == nullptr) return false;
    }
    const bool ok = Invoke(name, DISPATCH_PROPERTYPUT, &arg, nullptr);
    ::VariantClear(&arg);
    return ok;
  }

  bool Call(std::string_view method) override {
    VARIANT result;
    ::VariantInit(&result);
    const bool ok = Invoke(method, DISPATCH_METHOD, nullptr, &result);
    ::VariantClear(&result);
    return ok;
  }

  void SetBounds(const TRect& bounds) override {
    const RECT rect = ToRect(bounds);
    if (site_ != nullptr) site_->SetRect(rect);
    if (inPlace_) inPlace_->SetObjectRects(&rect, &rect);
  }

  void SetVisible(bool visible) override {
    if (window_ != nullptr) ::ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
  }

  void SetMessageHook(std::function<bool(TControlMessage, int, int)> hook) override { hook_ = std::move(hook); }

 private:
  TWin32ActiveXControl() = default;

  bool Invoke(std::string_view name, WORD flags, VARIANT* arg, VARIANT* result) {
    if (!dispatch_) return false;
    std::wstring wide = WideFromUtf8(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    if (arg != nullptr) {
      params.rgvarg = arg;
      params.cArgs = 1;
      if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
      }
    }
    EXCEPINFO exception{};
    UINT argError = 0;
    const HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, &argError);
    if (exception.bstrSource) ::SysFreeString(exception.bstrSource);
    if (exception.bstrDescription) ::SysFreeString(exception.bstrDescription);
    if (exception.bstrHelpFile) ::SysFreeString(exception.bstrHelpFile);
    return SUCCEEDED(hr);
  }

  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR) {
    auto* self = reinterpret_cast<TWin32ActiveXControl*>(id);
    std::optional<TControlMessage> kind;
    switch (message) {
      case WM_MOUSEMOVE: kind = TControlMessage::MouseMove; break;
      case WM_LBUTTONDOWN: kind = TControlMessage::LButtonDown; break;
      case WM_LBUTTONUP: kind = TControlMessage::LButtonUp; break;
      case WM_LBUTTONDBLCLK: kind = TControlMessage::LButtonDblClk; break;
      case WM_MBUTTONDOWN: kind = TControlMessage::MButtonDown; break;
      case WM_MBUTTONUP: kind = TControlMessage::MButtonUp; break;
      case WM_MBUTTONDBLCLK: kind = TControlMessage::MButtonDblClk; break;
      case WM_RBUTTONDOWN: kind = TControlMessage::RButtonDown; break;
      case WM_RBUTTONUP: kind = TControlMessage::RButtonUp; break;
      case WM_RBUTTONDBLCLK: kind = TControlMessage::RButtonDblClk; break;
      default: break;
    }
    if (kind && self->hook_) {
      bool pass = true;
      try {
        pass = self->hook_(*kind, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      } catch (...) {
      }
      if (!pass) return 0;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
  }

  TComPtr<IOleObject> object_;
  TComPtr<IDispatch> dispatch_;
  TComPtr<IOleInPlaceObject> inPlace_;
  TOleSite* site_ = nullptr;
  HWND window_ = nullptr;
  std::function<bool(TControlMessage, int, int)> hook_;
};

}  // namespace

bool ClassMissing(HRESULT hr) {
  return hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING || hr == REGDB_E_READREGDB ||
         hr == REGDB_E_KEYMISSING || hr == CLASS_E_CLASSNOTAVAILABLE;
}

std::unique_ptr<IActiveXControl> CreateOleControl(const CLSID& clsid, IClassFactory* factory, HWND parent,
                                                  TActiveXFailure& failure) {
  return TWin32ActiveXControl::Create(clsid, factory, parent, failure);
}

}  // namespace lumora::platform
