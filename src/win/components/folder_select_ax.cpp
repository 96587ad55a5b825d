// The folder-tree control as a windowed ActiveX control: a tree view with
// check boxes over every store and folder of the Outlook application it is
// given, each level read from Outlook when it first opens. The portable
// control keeps the marks, tells a change (Dirty) and writes the setting
// (Apply) through Outlook's PropertyPage interface.
#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <memory>

#include "components/component_ids.h"
#include "components/folder_select_control.h"
#include "win/components/ax_control.h"
#include "win/com/com_support.h"
#include "win/components/component_com.h"
#include "win/components/control_support.h"
#include "win/com/module.h"
#include "win/platform/win_settings.h"

namespace CV::Win::Components {
namespace {

using CV::Components::CFolderSelectControl;

constexpr UINT kCheckChanged = WM_APP + 1;  // wParam: the item whose box was clicked

RegistrySettings& Settings() {
  static RegistrySettings settings;
  return settings;
}

class FolderSelectAx final : public AxControl, public ICVFolderSelect {
 public:
  static FolderSelectAx* Create(::HRESULT& hr) {
    ComPtr<ITypeInfo> classInfo;
    hr = TypeInfoOf(ToGUID(ComponentIds::ClsidFolderSelect), classInfo);
    if (FAILED(hr)) return nullptr;
    auto* control = new (std::nothrow) FolderSelectAx(std::move(classInfo));
    if (!control) {
      hr = E_OUTOFMEMORY;
      return nullptr;
    }
    if (FAILED(hr = control->m_dispatch.Load(IID_ICVFolderSelect)) ||
        FAILED(hr = control->m_page.m_dispatch.Load(IID_PropertyPage))) {
      control->Release();
      return nullptr;
    }
    return control;
  }

  CV_AX_DUAL(m_dispatch, ICVFolderSelect)

  ::HRESULT STDMETHODCALLTYPE put_Application(IDispatch* application) override {
    return GuardCom([&] {
      m_control->Invoke(u"Application", InvokeKind::PropertyPut,
                        {Variant::FromObject(application ? WrapDispatch(application, Guid{}) : nullptr)});
      ShowTree();
      return S_OK;
    });
  }
  ::HRESULT STDMETHODCALLTYPE put_SettingsKey(BSTR name) override {
    return GuardCom([&] {
      m_control->Invoke(u"SettingsKey", InvokeKind::PropertyPut, {Variant::FromBstr(ToBstr(name))});
      ShowMarks(TVI_ROOT);
      return S_OK;
    });
  }
  ::HRESULT STDMETHODCALLTYPE put_Mode(long mode) override {
    return GuardCom([&] {
      m_control->Invoke(u"Mode", InvokeKind::PropertyPut, {Variant::FromI4(mode)});
      return S_OK;
    });
  }

 protected:
  ::HRESULT QueryControlInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ICVFolderSelect)) {
      *out = static_cast<ICVFolderSelect*>(this);
    } else if (IsEqualIID(riid, IID_PropertyPage)) {
      *out = static_cast<PropertyPage*>(&m_page);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  // The tree stands in a window of ours, which gets its notifications.
  HWND CreateControlWindow(HWND parent, const RECT& r) override {
    static const ATOM atom = ControlWindowClass(L"CVFolderSelectWindow", &WindowProc, ICC_TREEVIEW_CLASSES);
    return CreateOwnedWindow(atom, parent, r, this);
  }

 private:
  // Outlook's PropertyPage, with the control's identity.
  class Page final : public PropertyPage {
   public:
    explicit Page(FolderSelectAx& owner) : m_owner(owner) {}
    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
      return m_owner.QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_owner.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_owner.Release(); }
    CV_TYPED_DISPATCH(m_dispatch, PropertyPage)

    ::HRESULT STDMETHODCALLTYPE GetPageInfo(BSTR* helpFile, long* helpContext) override {
      if (helpFile) *helpFile = nullptr;
      if (helpContext) *helpContext = 0;
      return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE get_Dirty(VARIANT_BOOL* dirty) override {
      if (!dirty) return E_POINTER;
      return GuardCom([&] {
        *dirty = m_owner.m_control->Invoke(u"Dirty", InvokeKind::PropertyGet, {}).AsBool() ? VARIANT_TRUE
                                                                                              : VARIANT_FALSE;
        return S_OK;
      });
    }
    ::HRESULT STDMETHODCALLTYPE Apply() override {
      return GuardCom([&] {
        m_owner.m_control->Invoke(u"Apply", InvokeKind::Method, {});
        return S_OK;
      });
    }

    TypedDispatch m_dispatch;

   private:
    FolderSelectAx& m_owner;
  };

  struct Item {
    CFolderSelectControl::Node node;
    bool childrenRead = false;
  };

  explicit FolderSelectAx(ComPtr<ITypeInfo> classInfo)
      : AxControl(ToGUID(ComponentIds::ClsidFolderSelect), GUID_NULL, std::move(classInfo)) {}
  ~FolderSelectAx() override {
    if (HWND window = Window()) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);  // the base destroys it
    if (m_tree) ::RemoveWindowSubclass(m_tree, &TreeProc, 1);
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = OwnerOf<FolderSelectAx>(window, message, l);
    if (!self) return ::DefWindowProcW(window, message, w, l);
    switch (message) {
      case WM_CREATE:
        self->CreateTree(window);
        return 0;
      case WM_SIZE:
        if (self->m_tree) ::MoveWindow(self->m_tree, 0, 0, LOWORD(l), HIWORD(l), TRUE);
        return 0;
      case WM_SETFOCUS:
        if (self->m_tree) ::SetFocus(self->m_tree);
        return 0;
      case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(l);
        // A level is read from Outlook when it first opens.
        if (header.hwndFrom == self->m_tree && header.code == TVN_ITEMEXPANDINGW) {
          const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
          if (change.action & TVE_EXPAND) self->ReadChildren(change.itemNew.hItem);
        }
        return 0;
      }
      default:
        return ::DefWindowProcW(window, message, w, l);
    }
  }

  void CreateTree(HWND window) {
    // Its text is its name for screen readers.
    HWND tree = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, ResourceText(TextId::FolderColumn).c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                                      TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                                  0, 0, 10, 10, window, nullptr, Module::Instance(), nullptr);
    if (!tree) return;
    // Check boxes only work when the style is set after the window exists.
    ::SetWindowLongW(tree, GWL_STYLE, ::GetWindowLongW(tree, GWL_STYLE) | TVS_CHECKBOXES);
    ::SendMessageW(tree, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont(window)), FALSE);
    ::SetWindowSubclass(tree, &TreeProc, 1, reinterpret_cast<DWORD_PTR>(this));
    m_tree = tree;
    ShowTree();
  }

  // A click on a box or the space key changes the box after the tree has
  // seen the message: the mark is read once it is done.
  static LRESULT CALLBACK TreeProc(HWND tree, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<FolderSelectAx*>(data);
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: {
        TVHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
        if (TreeView_HitTest(tree, &hit) && (hit.flags & TVHT_ONITEMSTATEICON))
          ::PostMessageW(tree, kCheckChanged, reinterpret_cast<WPARAM>(hit.hItem), 0);
        break;
      }
      case WM_KEYDOWN:
        if (w == VK_SPACE)
          if (HTREEITEM item = TreeView_GetSelection(tree))
            ::PostMessageW(tree, kCheckChanged, reinterpret_cast<WPARAM>(item), 0);
        break;
      case kCheckChanged:
        self->ReadMark(reinterpret_cast<HTREEITEM>(w));
        return 0;
      case WM_NCDESTROY:
        ::RemoveWindowSubclass(tree, &TreeProc, 1);
        self->m_tree = nullptr;
        break;
      default:
        break;
    }
    return ::DefSubclassProc(tree, message, w, l);
  }

  void ShowTree() {
    if (!m_tree) return;
    TreeView_DeleteAllItems(m_tree);
    m_items.clear();
    try {
      for (CFolderSelectControl::Node& root : m_control->Roots()) Insert(TVI_ROOT, std::move(root));
    } catch (...) {
      // What Outlook gave before it failed is shown.
    }
  }

  HTREEITEM Insert(HTREEITEM parent, CFolderSelectControl::Node node) {
    m_items.push_back({std::move(node)});
    Item& item = m_items.back();
    std::wstring name(item.node.name.begin(), item.node.name.end());
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = name.data();
    insert.item.lParam = reinterpret_cast<LPARAM>(&item);
    insert.item.cChildren = item.node.hasChildren ? 1 : 0;
    HTREEITEM handle = TreeView_InsertItem(m_tree, &insert);
    TreeView_SetCheckState(m_tree, handle, m_control->IsMarked(item.node.path));
    return handle;
  }

  static Item* ItemOf(HWND tree, HTREEITEM handle) {
    TVITEMW item{};
    item.mask = TVIF_PARAM;
    item.hItem = handle;
    return TreeView_GetItem(tree, &item) ? reinterpret_cast<Item*>(item.lParam) : nullptr;
  }

  void ReadChildren(HTREEITEM handle) {
    Item* item = ItemOf(m_tree, handle);
    if (!item || item->childrenRead) return;
    item->childrenRead = true;
    try {
      for (CFolderSelectControl::Node& child : CFolderSelectControl::Children(item->node.folder))
        Insert(handle, std::move(child));
    } catch (...) {
      // The folders read before the failure are shown.
    }
  }

  void ReadMark(HTREEITEM handle) {
    if (!m_tree) return;
    if (Item* item = ItemOf(m_tree, handle))
      m_control->Mark(item->node.path, TreeView_GetCheckState(m_tree, handle) == 1);
  }

  void ShowMarks(HTREEITEM parent) {
    if (!m_tree) return;
    for (HTREEITEM child = TreeView_GetChild(m_tree, parent); child; child = TreeView_GetNextSibling(m_tree, child)) {
      if (Item* item = ItemOf(m_tree, child)) TreeView_SetCheckState(m_tree, child, m_control->IsMarked(item->node.path));
      ShowMarks(child);
    }
  }

 private:
  Module::ScopedLock m_moduleLock;
  TypedDispatch m_dispatch;
  Page m_page{*this};
  std::shared_ptr<CFolderSelectControl> m_control = std::make_shared<CFolderSelectControl>(Settings());
  HWND m_tree = nullptr;
  std::deque<Item> m_items;  // stable addresses: the tree's items point here
};

}  // namespace

::HRESULT CreateFolderSelect(REFIID riid, void** ppv) { return CreateControl<FolderSelectAx>(riid, ppv); }

}  // namespace CV::Win::Components
