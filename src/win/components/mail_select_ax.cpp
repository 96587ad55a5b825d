// The mail-selection control as a windowed ActiveX control: the folders
// with their counts on the left, the shown folder's mails on the right in
// a virtual list view with check boxes (a folder of many thousand mails
// costs only the rows on screen), "Alle" and "Keine" below. The portable
// control keeps the folders, the table and the modification flag; this
// class is its face and passes its events on to the connected sinks.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <utility>

#include "components/component_ids.h"
#include "components/mail_select_control.h"
#include "foundation/utf.h"
#include "contracts/vendor_ids.h"
#include "win/components/ax_control.h"
#include "win/com/com_support.h"
#include "win/components/component_com.h"
#include "win/components/control_support.h"
#include "win/com/module.h"

namespace CV::Win::Components {
namespace {

using CV::Components::CMailSelectControl;

// Not 1 and 2: a dialog's search for its default button looks into its
// children, and IDOK and IDCANCEL are the dialog's own.
constexpr int kFolderList = 11, kMailList = 12, kAll = 13, kNone = 14;
// A folder's mails are read once the selection rests: arrowing through the
// folders builds no table for the folders passed on the way.
constexpr UINT_PTR kFolderTimer = 1;
constexpr UINT kFolderRestMilliseconds = 200;
enum Column { Importance, Attachment, Sender, Subject, Date, Size, ColumnCount };
constexpr UINT kHeaders[ColumnCount] = {TextId::ImportanceColumn, TextId::AttachmentColumn, TextId::SenderColumn,
                                        TextId::SubjectColumn,    TextId::DateColumn,       TextId::SizeColumn};
// At 96 dots per inch: "Von" at most and at least, and the least "Betreff"
// keeps.
constexpr int kSenderWidth = 130, kLeastSenderWidth = 50, kLeastSubjectWidth = 40;
// Around a cell's text: the list's own margins and a little air.
constexpr int kCellPadding = 12;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The dialog asks a list whether it wants this key: Enter, which a list
// that does Enter itself takes from the default button.
bool IsEnter(LPARAM dialogCodeQuery) {
  const auto* msg = reinterpret_cast<const MSG*>(dialogCodeQuery);
  return msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN;
}

std::wstring DateText(double date) {
  SYSTEMTIME time{};
  if (date == 0 || !::VariantTimeToSystemTime(date, &time)) return {};
  wchar_t day[64] = {}, clock[64] = {};
  ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, day, 64);
  ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, 64);
  return std::wstring(day) + L" " + clock;
}

class MailSelectAx final : public AxControl, public ICVMailSelect {
 public:
  static MailSelectAx* Create(::HRESULT& hr) {
    ComPtr<ITypeInfo> classInfo;
    hr = TypeInfoOf(ToGUID(ComponentIds::ClsidMailSelect), classInfo);
    if (FAILED(hr)) return nullptr;
    auto* control = new (std::nothrow) MailSelectAx(std::move(classInfo));
    if (!control) {
      hr = E_OUTOFMEMORY;
      return nullptr;
    }
    if (FAILED(hr = control->m_dispatch.Load(IID_ICVMailSelect))) {
      control->Release();
      return nullptr;
    }
    return control;
  }

  CV_AX_DUAL(m_dispatch, ICVMailSelect)

  ::HRESULT STDMETHODCALLTYPE get_CurrentFolder(BSTR* path) override {
    if (!path) return E_POINTER;
    *path = nullptr;
    return GuardCom([&] {
      *path = AllocBstr(m_control->Invoke(u"CurrentFolder", InvokeKind::PropertyGet, {}).AsBstr());
      return S_OK;
    });
  }
  ::HRESULT STDMETHODCALLTYPE get_Modified(VARIANT* modified) override { return GetValue(u"Modified", modified); }
  ::HRESULT STDMETHODCALLTYPE get_Folders(BSTR* lines) override {
    if (!lines) return E_POINTER;
    *lines = nullptr;
    return GuardCom([&] {
      std::u16string text;
      for (const auto& folder : m_control->Folders())
        text += folder.path + u"%" + FromUtf8(std::to_string(folder.count)) + u"\r\n";
      *lines = AllocBstr(Bstr(text));
      return S_OK;
    });
  }
  ::HRESULT STDMETHODCALLTYPE put_Folders(BSTR lines) override {
    return GuardCom([&] {
      m_control->Invoke(u"Folders", InvokeKind::PropertyPut, {Variant::FromBstr(ToBstr(lines))});
      ShowFolders();
      return S_OK;
    });
  }
  ::HRESULT STDMETHODCALLTYPE get_Mails(VARIANT* table) override { return GetValue(u"Mails", table); }
  ::HRESULT STDMETHODCALLTYPE put_Mails(VARIANT table) override {
    return GuardCom([&] {
      m_control->Invoke(u"Mails", InvokeKind::PropertyPut, {ToVariant(table)});
      ShowMails();
      return S_OK;
    });
  }

 protected:
  ::HRESULT QueryControlInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ICVMailSelect)) {
      *out = static_cast<ICVMailSelect*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  HWND CreateControlWindow(HWND parent, const RECT& r) override {
    static const ATOM atom =
        ControlWindowClass(L"CVMailSelectWindow", &WindowProc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES);
    return CreateOwnedWindow(atom, parent, r, this);
  }

 private:
  // The portable control's events, passed on to the sinks of the container.
  class Relay final : public IEventSink {
   public:
    explicit Relay(MailSelectAx* owner) : m_owner(owner) {}
    void Detach() { m_owner = nullptr; }
    void OnEvent(std::int32_t dispid, const std::vector<Variant>& args) override {
      if (!m_owner) return;
      std::vector<VARIANT> values(args.size());
      for (std::size_t i = 0; i < args.size(); ++i) FromVariant(args[i], &values[i]);
      m_owner->Fire(dispid, values);
      for (VARIANT& value : values) ::VariantClear(&value);
    }

   private:
    MailSelectAx* m_owner;
  };

  explicit MailSelectAx(ComPtr<ITypeInfo> classInfo)
      : AxControl(ToGUID(ComponentIds::ClsidMailSelect), DIID__ICVMailSelectEvents, std::move(classInfo)) {
    m_control->Advise(Vendor::Iid::CVMailSelectEvents, m_relay);
  }
  ~MailSelectAx() override {
    m_relay->Detach();
    if (HWND window = Window()) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);  // the base destroys it
  }

  ::HRESULT GetValue(std::u16string_view name, VARIANT* out) {
    if (!out) return E_POINTER;
    ::VariantInit(out);
    return GuardCom([&] {
      FromVariant(m_control->Invoke(name, InvokeKind::PropertyGet, {}), out);
      return S_OK;
    });
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = OwnerOf<MailSelectAx>(window, message, l);
    if (!self) return ::DefWindowProcW(window, message, w, l);
    switch (message) {
      case WM_CREATE:
        self->CreateChildren(window);
        return 0;
      case WM_SIZE:
        self->Layout(LOWORD(l), HIWORD(l));
        return 0;
      case WM_TIMER:
        if (w == kFolderTimer) self->ShowPendingFolder();
        return 0;
      case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED && (LOWORD(w) == kAll || LOWORD(w) == kNone)) {
          std::vector<std::size_t> all(self->m_rows.size());
          for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
          self->SetRows(all, LOWORD(w) == kAll);
        }
        return 0;
      case WM_NOTIFY:
        return self->OnNotify(*reinterpret_cast<NMHDR*>(l));
      default:
        return ::DefWindowProcW(window, message, w, l);
    }
  }

  // The mail list takes Enter (opens the mail) and does space, Ctrl+A and
  // clicks on a check box itself: a virtual list keeps no check marks.
  static LRESULT CALLBACK MailListProc(HWND list, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<MailSelectAx*>(data);
    switch (message) {
      case WM_GETDLGCODE:
        if (IsEnter(l)) return ::DefSubclassProc(list, message, w, l) | DLGC_WANTALLKEYS;
        break;
      case WM_KEYDOWN:
        if (w == VK_RETURN) {
          self->OpenMail(ListView_GetNextItem(list, -1, LVNI_FOCUSED));
          return 0;
        }
        if (w == VK_SPACE) {
          self->ToggleSelected();
          return 0;
        }
        if (w == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
          ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
          return 0;
        }
        break;
      case WM_CHAR:
        if (w == L' ' || w == 1 /* Ctrl+A */ || w == L'\r') return 0;
        break;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: {
        LVHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
        if (ListView_HitTest(list, &hit) >= 0 && (hit.flags & LVHT_ONITEMSTATEICON)) {
          ::SetFocus(list);
          ListView_SetItemState(list, hit.iItem, LVIS_FOCUSED, LVIS_FOCUSED);
          const std::size_t row = self->m_order.at(static_cast<std::size_t>(hit.iItem));
          self->SetRows({row}, !self->m_rows[row].selected);
          return 0;
        }
        break;
      }
      case WM_NCDESTROY:
        ::RemoveWindowSubclass(list, &MailListProc, 1);
        break;
      default:
        break;
    }
    return ::DefSubclassProc(list, message, w, l);
  }

  // Enter in the folder list shows the focused folder's mails at once,
  // without waiting for the selection to rest.
  static LRESULT CALLBACK FolderListProc(HWND list, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<MailSelectAx*>(data);
    switch (message) {
      case WM_GETDLGCODE:
        if (IsEnter(l)) return ::DefSubclassProc(list, message, w, l) | DLGC_WANTALLKEYS;
        break;
      case WM_KEYDOWN:
        if (w == VK_RETURN) {
          self->ShowPendingFolder();
          return 0;
        }
        break;
      case WM_CHAR:
        if (w == L'\r') return 0;
        break;
      case WM_NCDESTROY:
        ::RemoveWindowSubclass(list, &FolderListProc, 1);
        break;
      default:
        break;
    }
    return ::DefSubclassProc(list, message, w, l);
  }

  void CreateChildren(HWND window) {
    const HINSTANCE instance = Module::Instance();
    const HFONT font = DialogFont(window);
    const auto child = [&](const wchar_t* type, DWORD style, DWORD exStyle, int id, const std::wstring& text) {
      HWND created = ::CreateWindowExW(exStyle, type, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                       window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
      ::SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      return created;
    };
    // The lists' texts are their names for screen readers.
    m_folders = child(WC_LISTVIEWW, WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                      WS_EX_CLIENTEDGE, kFolderList, ResourceText(TextId::FolderColumn));
    ListView_SetExtendedListViewStyle(m_folders, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    AddColumn(m_folders, 0, TextId::FolderColumn, 150, LVCFMT_LEFT);
    AddColumn(m_folders, 1, TextId::CountColumn, 60, LVCFMT_RIGHT);
    ::SetWindowSubclass(m_folders, &FolderListProc, 1, reinterpret_cast<DWORD_PTR>(this));
    m_mails = child(WC_LISTVIEWW, WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE,
                    kMailList, ResourceText(TextId::CountColumn));
    ListView_SetExtendedListViewStyle(m_mails, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_HEADERDRAGDROP | LVS_EX_LABELTIP);
    ListView_SetCallbackMask(m_mails, LVIS_STATEIMAGEMASK);  // the check marks come from the table
    for (int c = 0; c < ColumnCount; ++c)
      AddColumn(m_mails, c, kHeaders[c], c == Sender ? kSenderWidth : kLeastSubjectWidth,
                c == Size ? LVCFMT_RIGHT : LVCFMT_LEFT);
    ::SetWindowSubclass(m_mails, &MailListProc, 1, reinterpret_cast<DWORD_PTR>(this));
    m_all = child(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, kAll, ResourceText(TextId::SelectAll));
    m_none = child(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, kNone, ResourceText(TextId::SelectNone));
    ShowFolders();
    ShowMails();
  }

  void AddColumn(HWND list, int index, UINT text, int width, int format) {
    std::wstring title = ResourceText(text);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = Scaled(list, width);
    column.pszText = title.data();
    column.iSubItem = index;
    ListView_InsertColumn(list, index, &column);
  }

  void Layout(int width, int height) {
    if (!m_folders) return;
    HWND window = ::GetParent(m_folders);
    const int gap = Scaled(window, 7), buttonWidth = Scaled(window, 75), buttonHeight = Scaled(window, 23);
    const int left = std::max(Scaled(window, 160), width / 3);
    const int right = std::max(0, width - left - gap);
    ::MoveWindow(m_folders, 0, 0, left, height, TRUE);
    ::MoveWindow(m_mails, left + gap, 0, right, std::max(0, height - buttonHeight - gap), TRUE);
    ::MoveWindow(m_all, left + gap, height - buttonHeight, buttonWidth, buttonHeight, TRUE);
    ::MoveWindow(m_none, left + 2 * gap + buttonWidth, height - buttonHeight, buttonWidth, buttonHeight, TRUE);
    RECT client{};
    ::GetClientRect(m_folders, &client);
    const int count = ListView_GetColumnWidth(m_folders, 1);
    ListView_SetColumnWidth(m_folders, 0, std::max<int>(Scaled(window, 60), client.right - count));
    FitMailColumns();
  }

  // The mark columns as narrow as their marks, "Datum" and "Größe" as wide
  // as their longest text, "Von" two fifths of the rest (within its bounds)
  // and "Betreff" what is left, so that a wider dialog shows more of the
  // subjects. Room for the vertical scroll bar is always kept: rows arriving
  // later do not push a horizontal one in.
  void FitMailColumns() {
    RECT client{};
    if (!m_mails || !::GetClientRect(m_mails, &client)) return;
    const int padding = Scaled(m_mails, kCellPadding);
    const auto textWidth = [&](const std::wstring& text) { return ListView_GetStringWidth(m_mails, text.c_str()) + padding; };
    SYSTEMTIME longest{2026, 12, 0, 28, 23, 59, 0, 0};
    double longestDate = 0;
    ::SystemTimeToVariantTime(&longest, &longestDate);
    int widths[ColumnCount] = {};
    // The first column holds the check box before its mark.
    int box = 0, boxHeight = 0;
    if (HIMAGELIST boxes = ListView_GetImageList(m_mails, LVSIL_STATE)) ImageList_GetIconSize(boxes, &box, &boxHeight);
    widths[Importance] = box + textWidth(ResourceText(TextId::ImportanceHigh));
    widths[Attachment] = textWidth(ResourceText(TextId::HasAttachments));
    widths[Date] = textWidth(DateText(longestDate));
    widths[Size] = std::max(textWidth(L"9999 " + ResourceText(TextId::SizeUnit)), textWidth(ResourceText(TextId::SizeColumn)));
    const int rest = static_cast<int>(client.right) - ::GetSystemMetrics(SM_CXVSCROLL) - widths[Importance] -
                     widths[Attachment] - widths[Date] - widths[Size];
    widths[Sender] = std::clamp(rest * 2 / 5, Scaled(m_mails, kLeastSenderWidth), Scaled(m_mails, kSenderWidth));
    widths[Subject] = std::max(Scaled(m_mails, kLeastSubjectWidth), rest - widths[Sender]);
    for (int c = 0; c < ColumnCount; ++c) ListView_SetColumnWidth(m_mails, c, widths[c]);
  }

  void ShowFolders() {
    if (!m_folders) return;
    m_filling = true;
    ListView_DeleteAllItems(m_folders);
    m_paths.clear();
    const std::u16string current = m_control->CurrentFolder();
    int index = 0;
    for (const auto& folder : m_control->Folders()) {
      std::wstring path = Wide(folder.path), count = std::to_wstring(folder.count);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = index;
      item.pszText = path.data();
      ListView_InsertItem(m_folders, &item);
      ListView_SetItemText(m_folders, index, 1, count.data());
      if (folder.path == current) ListView_SetItemState(m_folders, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      m_paths.push_back(folder.path);
      ++index;
    }
    m_filling = false;
  }

  void ShowMails() {
    m_rows = m_control->Rows();
    m_order.resize(m_rows.size());
    for (std::size_t i = 0; i < m_order.size(); ++i) m_order[i] = i;
    Sort();
    if (!m_mails) return;
    ListView_SetItemState(m_mails, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(m_mails, static_cast<int>(m_rows.size()), 0);
    ::InvalidateRect(m_mails, nullptr, TRUE);
  }

  void Sort() {
    if (m_sortColumn < 0) return;
    const auto compareText = [](const std::u16string& a, const std::u16string& b) {
      return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(a.c_str()),
                              static_cast<int>(a.size()), reinterpret_cast<const wchar_t*>(b.c_str()),
                              static_cast<int>(b.size())) -
             CSTR_EQUAL;
    };
    const auto compare = [&](std::size_t x, std::size_t y) {
      const CMailSelectControl::Row &a = m_rows[x], &b = m_rows[y];
      switch (m_sortColumn) {
        case Importance: return a.importance < b.importance ? -1 : a.importance > b.importance;
        case Attachment: return static_cast<int>(a.attachments) - static_cast<int>(b.attachments);
        case Sender: return compareText(a.sender, b.sender);
        case Subject: return compareText(a.subject, b.subject);
        case Date: return a.date < b.date ? -1 : a.date > b.date;
        default: return a.size < b.size ? -1 : a.size > b.size;
      }
    };
    std::stable_sort(m_order.begin(), m_order.end(),
                     [&](std::size_t x, std::size_t y) { return m_ascending ? compare(x, y) < 0 : compare(x, y) > 0; });
  }

  std::wstring CellText(const CMailSelectControl::Row& row, int column) const {
    switch (column) {
      case Importance:
        return row.importance > 0 ? ResourceText(TextId::ImportanceHigh) : std::wstring();
      case Attachment: return row.attachments ? ResourceText(TextId::HasAttachments) : std::wstring();
      case Sender: return Wide(row.sender);
      case Subject: return Wide(row.subject);
      case Date: return DateText(row.date);
      default: return std::to_wstring((row.size + 1023) / 1024) + L" " + ResourceText(TextId::SizeUnit);
    }
  }

  LRESULT OnNotify(const NMHDR& header) {
    if (header.hwndFrom == m_folders && header.code == LVN_ITEMCHANGED && !m_filling) {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if (change.iItem >= 0 && (change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED)) {
        m_pendingFolder = change.iItem;
        ::SetTimer(::GetParent(m_folders), kFolderTimer, kFolderRestMilliseconds, nullptr);
      }
      return 0;
    }
    if (header.hwndFrom == m_folders && header.code == NM_CLICK) {
      ShowPendingFolder();  // a click is no passing
      return 0;
    }
    if (header.hwndFrom != m_mails) return 0;
    switch (header.code) {
      case LVN_GETDISPINFOW: {
        auto& info = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
        if (info.item.iItem < 0 || static_cast<std::size_t>(info.item.iItem) >= m_order.size()) return 0;
        const CMailSelectControl::Row& row = m_rows[m_order[static_cast<std::size_t>(info.item.iItem)]];
        if ((info.item.mask & LVIF_TEXT) && info.item.pszText && info.item.cchTextMax > 0) {
          const std::wstring text = CellText(row, info.item.iSubItem);
          ::lstrcpynW(info.item.pszText, text.c_str(), info.item.cchTextMax);
        }
        if (info.item.mask & LVIF_STATE) {
          info.item.state = (info.item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(row.selected ? 2 : 1);
          info.item.stateMask |= LVIS_STATEIMAGEMASK;
        }
        return 0;
      }
      case LVN_COLUMNCLICK: {
        const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
        m_ascending = column == m_sortColumn ? !m_ascending : true;
        m_sortColumn = column;
        ShowSortMark();
        for (std::size_t i = 0; i < m_order.size(); ++i) m_order[i] = i;
        Sort();
        ::InvalidateRect(m_mails, nullptr, TRUE);
        return 0;
      }
      case NM_DBLCLK: {
        const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
        if (activate.iItem >= 0) OpenMail(activate.iItem);
        return 0;
      }
      case LVN_ODFINDITEMW:
        return FindTyped(reinterpret_cast<const NMLVFINDITEMW&>(header));
      default:
        return 0;
    }
  }

  // The folder picked last, once the selection rests, a click or Enter. The
  // dialog reads the table shown until now, then shows the new one. A pick
  // while a table is still being built waits for it.
  void ShowPendingFolder() {
    HWND window = m_folders ? ::GetParent(m_folders) : nullptr;
    if (!window) return;
    if (m_building) {
      ::SetTimer(window, kFolderTimer, kFolderRestMilliseconds, nullptr);
      return;
    }
    ::KillTimer(window, kFolderTimer);
    if (m_pendingFolder < 0 || static_cast<std::size_t>(m_pendingFolder) >= m_paths.size()) return;
    const std::u16string path = m_paths[static_cast<std::size_t>(std::exchange(m_pendingFolder, -1))];
    AddRef();
    m_building = true;
    m_control->SelectFolder(path);
    ShowMails();
    m_building = false;
    Release();
  }

  // Type-ahead in the owner-data list: the first row, from the one the list
  // names, whose text in the sorted column (the subject while unsorted)
  // begins with what was typed.
  LRESULT FindTyped(const NMLVFINDITEMW& find) const {
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || m_order.empty()) return -1;
    const std::wstring typed = find.lvfi.psz;
    const int column = m_sortColumn >= 0 ? m_sortColumn : Subject;
    const std::size_t count = m_order.size();
    const std::size_t start = find.iStart >= 0 && static_cast<std::size_t>(find.iStart) < count ? find.iStart : 0;
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t at = (start + k) % count;
      if (at < start && !(find.lvfi.flags & LVFI_WRAP)) break;
      const std::wstring text = CellText(m_rows[m_order[at]], column);
      if (text.size() >= typed.size() &&
          ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.c_str(), static_cast<int>(typed.size()),
                           typed.c_str(), static_cast<int>(typed.size())) == CSTR_EQUAL)
        return static_cast<LRESULT>(at);
    }
    return -1;
  }

  void ShowSortMark() {
    HWND columns = ListView_GetHeader(m_mails);
    for (int c = 0; c < ColumnCount; ++c) {
      HDITEMW item{};
      item.mask = HDI_FORMAT;
      Header_GetItem(columns, c, &item);
      item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
      if (c == m_sortColumn) item.fmt |= m_ascending ? HDF_SORTUP : HDF_SORTDOWN;
      Header_SetItem(columns, c, &item);
    }
  }

  // Space switches every marked row to the opposite of the focused one.
  void ToggleSelected() {
    const int focused = ListView_GetNextItem(m_mails, -1, LVNI_FOCUSED);
    std::vector<std::size_t> rows;
    for (int i = ListView_GetNextItem(m_mails, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(m_mails, i, LVNI_SELECTED))
      rows.push_back(m_order.at(static_cast<std::size_t>(i)));
    if (rows.empty() && focused >= 0) rows.push_back(m_order.at(static_cast<std::size_t>(focused)));
    if (rows.empty()) return;
    const std::size_t lead = focused >= 0 ? m_order.at(static_cast<std::size_t>(focused)) : rows.front();
    SetRows(rows, !m_rows[lead].selected);
  }

  void SetRows(const std::vector<std::size_t>& rows, bool selected) {
    m_control->SetSelectedRows(rows, selected);
    for (const std::size_t row : rows)
      if (row < m_rows.size()) m_rows[row].selected = selected;
    ::InvalidateRect(m_mails, nullptr, FALSE);
  }

  void OpenMail(int item) {
    if (item < 0 || static_cast<std::size_t>(item) >= m_order.size()) return;
    const std::u16string entryId = m_rows[m_order[static_cast<std::size_t>(item)]].entryId;
    AddRef();  // the handler may close the dialog
    m_control->OpenMail(entryId);
    Release();
  }

  Module::ScopedLock m_moduleLock;
  TypedDispatch m_dispatch;
  std::shared_ptr<CMailSelectControl> m_control = std::make_shared<CMailSelectControl>();
  std::shared_ptr<Relay> m_relay = std::make_shared<Relay>(this);
  HWND m_folders = nullptr, m_mails = nullptr, m_all = nullptr, m_none = nullptr;
  std::vector<std::u16string> m_paths;
  std::vector<CMailSelectControl::Row> m_rows;
  std::vector<std::size_t> m_order;  // shown position → row of the table
  int m_sortColumn = -1;
  bool m_ascending = true;
  bool m_filling = false;
  int m_pendingFolder = -1;  // picked, not shown yet
  bool m_building = false;   // a folder's table is being built
};

}  // namespace

::HRESULT CreateMailSelect(REFIID riid, void** ppv) { return CreateControl<MailSelectAx>(riid, ppv); }

}  // namespace CV::Win::Components
