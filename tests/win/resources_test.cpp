// Checks the resources compiled into the program: loads the built exe as a
// data file (its path is the first argument) and reads every resource back
// through the same user32 and kernel32 calls that the program itself uses.
//
//   resources_test.exe path\to\morvane.exe [--gtest_...]

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// The program under test, mapped as resources only; set by main().
HMODULE programModule = nullptr;

// Every resource except the manifest is in Chinese (PRC).
constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

struct ResourceBytes {
  const BYTE* data = nullptr;
  size_t size = 0;
};

std::optional<ResourceBytes> FindBytes(LPCWSTR type, WORD id, WORD language) {
  HRSRC found = FindResourceExW(programModule, type, MAKEINTRESOURCEW(id), language);
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(programModule, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return std::nullopt;
  return ResourceBytes{static_cast<const BYTE*>(data), SizeofResource(programModule, found)};
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR into) {
  reinterpret_cast<std::set<WORD>*>(into)->insert(language);
  return TRUE;
}

std::set<WORD> LanguagesOf(LPCWSTR type, WORD id) {
  std::set<WORD> languages;
  EnumResourceLanguagesW(programModule, type, MAKEINTRESOURCEW(id), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR into) {
  auto* names = reinterpret_cast<std::vector<std::wstring>*>(into);
  names->push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                        : std::wstring(name));
  return TRUE;
}

// Sequential little-endian reads that never run past the end: a short or
// malformed resource makes ok() false instead of reading beyond it.
class ByteReader {
 public:
  ByteReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  size_t position() const { return position_; }

  BYTE Byte() {
    BYTE value = 0;
    Copy(&value, 1);
    return value;
  }
  WORD Word() {
    WORD value = 0;
    Copy(&value, 2);
    return value;
  }
  DWORD Dword() {
    DWORD value = 0;
    Copy(&value, 4);
    return value;
  }
  short Short() { return static_cast<short>(Word()); }

  std::wstring Text() {
    std::wstring text;
    for (WORD unit = Word(); ok_ && unit != 0; unit = Word()) text.push_back(static_cast<wchar_t>(unit));
    return text;
  }

  void Skip(size_t count) {
    if (count > size_ - position_) {
      ok_ = false;
      position_ = size_;
      return;
    }
    position_ += count;
  }
  void AlignToDword() { Skip((4 - position_ % 4) % 4); }

 private:
  void Copy(void* into, size_t count) {
    if (!ok_ || count > size_ - position_) {
      ok_ = false;
      position_ = size_;
      return;
    }
    std::memcpy(into, data_ + position_, count);
    position_ += count;
  }

  const BYTE* data_;
  size_t size_;
  size_t position_ = 0;
  bool ok_ = true;
};

// A dialog template field that holds either a text or a 16-bit ordinal.
struct TextOrOrdinal {
  std::wstring text;
  std::optional<WORD> ordinal;
};

TextOrOrdinal ReadTextOrOrdinal(ByteReader& reader) {
  TextOrOrdinal field;
  WORD first = reader.Word();
  if (first == 0xFFFF) {
    field.ordinal = reader.Word();
  } else if (first != 0) {
    field.text.push_back(static_cast<wchar_t>(first));
    field.text += reader.Text();
  }
  return field;
}

// Predefined control classes may be stored as ordinals; either way the
// dialog manager creates the same class, so both compare as a lower-case name.
std::wstring ClassName(const TextOrOrdinal& field) {
  if (field.ordinal) {
    switch (*field.ordinal) {
      case 0x80: return L"button";
      case 0x81: return L"edit";
      case 0x82: return L"static";
      case 0x83: return L"listbox";
      case 0x84: return L"scrollbar";
      case 0x85: return L"combobox";
      default: return L"#" + std::to_wstring(*field.ordinal);
    }
  }
  std::wstring name = field.text;
  std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towlower(c); });
  return name;
}

struct DialogItem {
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  std::wstring className;
  TextOrOrdinal title;
  WORD extraBytes = 0;
};

struct DialogTemplate {
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  TextOrOrdinal menu;
  TextOrOrdinal windowClass;
  std::wstring caption;
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::wstring typeface;
  std::vector<DialogItem> items;
};

// Reads an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX
// items); nothing when the bytes are not one or are cut short.
std::optional<DialogTemplate> ParseDialog(const ResourceBytes& bytes) {
  ByteReader reader(bytes.data, bytes.size);
  DialogTemplate dialog;
  const WORD version = reader.Word();
  const WORD signature = reader.Word();
  if (!reader.ok() || version != 1 || signature != 0xFFFF) return std::nullopt;
  reader.Dword();  // help id
  dialog.exStyle = reader.Dword();
  dialog.style = reader.Dword();
  const WORD itemCount = reader.Word();
  dialog.x = reader.Short();
  dialog.y = reader.Short();
  dialog.cx = reader.Short();
  dialog.cy = reader.Short();
  dialog.menu = ReadTextOrOrdinal(reader);
  dialog.windowClass = ReadTextOrOrdinal(reader);
  dialog.caption = reader.Text();
  if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
    dialog.pointSize = reader.Word();
    dialog.weight = reader.Word();
    dialog.italic = reader.Byte();
    dialog.charset = reader.Byte();
    dialog.typeface = reader.Text();
  }
  for (WORD i = 0; i < itemCount && reader.ok(); ++i) {
    reader.AlignToDword();
    DialogItem item;
    reader.Dword();  // help id
    item.exStyle = reader.Dword();
    item.style = reader.Dword();
    item.x = reader.Short();
    item.y = reader.Short();
    item.cx = reader.Short();
    item.cy = reader.Short();
    item.id = reader.Dword();
    item.className = ClassName(ReadTextOrOrdinal(reader));
    item.title = ReadTextOrOrdinal(reader);
    item.extraBytes = reader.Word();
    reader.Skip(item.extraBytes);
    dialog.items.push_back(std::move(item));
  }
  if (!reader.ok()) return std::nullopt;
  return dialog;
}

std::string Describe(LPCWSTR type, WORD id) {
  static const std::map<ULONG_PTR, const char*> names = {
      {reinterpret_cast<ULONG_PTR>(RT_ICON), "icon image"},
      {reinterpret_cast<ULONG_PTR>(RT_GROUP_ICON), "icon"},
      {reinterpret_cast<ULONG_PTR>(RT_MENU), "menu"},
      {reinterpret_cast<ULONG_PTR>(RT_ACCELERATOR), "accelerators"},
      {reinterpret_cast<ULONG_PTR>(RT_STRING), "string block"},
      {reinterpret_cast<ULONG_PTR>(RT_DIALOG), "dialog"},
      {reinterpret_cast<ULONG_PTR>(RT_MANIFEST), "manifest"},
  };
  const auto name = names.find(reinterpret_cast<ULONG_PTR>(type));
  return std::string(name != names.end() ? name->second : "resource") + " " + std::to_string(id);
}

// Label controls that the code never addresses carry the id -1.
constexpr DWORD kLabel = static_cast<DWORD>(-1);

TEST(ResourcesTest, EveryResourceIsInChineseOnly) {
  struct Row {
    LPCWSTR type;
    WORD id;
  };
  // Strings 103, 106 and 109 all live in block 7 (ids 96 to 111).
  const Row rows[] = {
      {RT_GROUP_ICON, 107}, {RT_GROUP_ICON, 130}, {RT_GROUP_ICON, 131}, {RT_GROUP_ICON, 132},
      {RT_GROUP_ICON, 133}, {RT_MENU, 109},       {RT_MENU, 130},       {RT_ACCELERATOR, 109},
      {RT_STRING, 7},       {RT_DIALOG, 103},     {RT_DIALOG, 129},     {RT_DIALOG, 130},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Describe(row.type, row.id));
    EXPECT_NE(FindResourceExW(programModule, row.type, MAKEINTRESOURCEW(row.id), kChinesePrc), nullptr);
    EXPECT_EQ(LanguagesOf(row.type, row.id), std::set<WORD>{kChinesePrc});
  }
}

TEST(ResourcesTest, ManifestIsSingleAndLanguageNeutral) {
  // A second manifest (a toolchain's default one linked in as well) would
  // leave it to the loader which of them counts.
  std::vector<std::wstring> names;
  EnumResourceNamesW(programModule, RT_MANIFEST, CollectName, reinterpret_cast<LONG_PTR>(&names));
  EXPECT_EQ(names, std::vector<std::wstring>{L"#1"});
  EXPECT_EQ(LanguagesOf(RT_MANIFEST, 1), std::set<WORD>{kNeutral});
}

TEST(ResourcesTest, ManifestRunsAsInvokerWithoutUiAccess) {
  const auto bytes = FindBytes(RT_MANIFEST, 1, kNeutral);
  ASSERT_TRUE(bytes.has_value());
  const std::string manifest(reinterpret_cast<const char*>(bytes->data), bytes->size);

  const std::string elementStart = "<requestedExecutionLevel";
  const size_t start = manifest.find(elementStart);
  ASSERT_NE(start, std::string::npos) << manifest;
  EXPECT_EQ(manifest.find(elementStart, start + 1), std::string::npos) << "more than one execution level";
  const size_t end = manifest.find('>', start);
  ASSERT_NE(end, std::string::npos);
  const std::string element = manifest.substr(start, end - start);

  const std::pair<std::string, std::string> attributes[] = {{"level", "asInvoker"}, {"uiAccess", "false"}};
  for (const auto& [name, expected] : attributes) {
    SCOPED_TRACE(name);
    std::optional<std::string> value;
    for (size_t at = element.find(name + "="); at != std::string::npos; at = element.find(name + "=", at + 1)) {
      const size_t quoteAt = at + name.size() + 1;
      // Whole attribute names only (not the tail of a longer one), quoted values only.
      if (!std::isspace(static_cast<unsigned char>(element[at - 1])) || quoteAt >= element.size()) continue;
      const char quote = element[quoteAt];
      const size_t valueEnd = element.find(quote, quoteAt + 1);
      if ((quote == '"' || quote == '\'') && valueEnd != std::string::npos)
        value = element.substr(quoteAt + 1, valueEnd - quoteAt - 1);
    }
    EXPECT_EQ(value, std::optional<std::string>(expected)) << element;
  }
}

struct ExpectedControl {
  DWORD id;
  const wchar_t* className;
  short x, y, cx, cy;
  DWORD style;
  const wchar_t* text;  // nullptr when the control shows the icon below
  WORD iconId;
};

struct ExpectedDialog {
  WORD id;
  short x, y, cx, cy;
  DWORD style;
  DWORD exStyle;
  const wchar_t* caption;
  std::vector<ExpectedControl> controls;  // in template order, which is the tab order
};

TEST(ResourcesTest, DialogTemplates) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  constexpr DWORD kLabelStyle = kChild | WS_GROUP | SS_LEFT;
  const ExpectedDialog dialogs[] = {
      {103, 22, 17, 201, 89, DS_SETFONT | DS_MODALFRAME | DS_FIXEDSYS | WS_CAPTION | WS_SYSMENU, 0, L"关于",
       {
           {2, L"static", 14, 9, 21, 20, kChild | SS_ICON, nullptr, 107},
           {kLabel, L"static", 49, 10, 125, 27, kLabelStyle,
            L"Morvane1.0：在本网点接收到新的服务请求，如新的订单时，弹出通知窗口提醒管理员", 0},
           {kLabel, L"static", 49, 53, 125, 8, kLabelStyle, L"Morvane 开发组", 0},
           {1, L"button", 75, 73, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, L"确定", 0},
       }},
      {129, 0, 0, 215, 121, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS, 0,
       L"Morvane设置",
       {
           {1, L"button", 81, 100, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, L"确定", 0},
           {2, L"button", 137, 100, 50, 14, kChild | WS_TABSTOP, L"取消", 0},
           {kLabel, L"static", 25, 40, 25, 8, kLabelStyle, L"帐号：", 0},
           {1000, L"edit", 53, 37, 119, 14, kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, L"", 0},
           {kLabel, L"static", 25, 58, 25, 8, kLabelStyle, L"密码：", 0},
           {1001, L"edit", 53, 56, 119, 14, kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, L"", 0},
           {1003, L"static", 25, 78, 147, 8, kLabelStyle, L"", 0},
           {1002, L"button", 25, 100, 50, 14, kChild | WS_TABSTOP, L"测试", 0},
           {1004, L"static", 25, 10, 167, 21, kLabelStyle,
            L"请输入你在Zarnik网点管理中心的帐号与密码，若有问题，请联系本网点的系统管理员。", 0},
       }},
      {130, 0, 0, 155, 85,
       WS_POPUP | WS_BORDER | WS_SYSMENU | DS_SETFOREGROUND | DS_SETFONT | DS_FIXEDSYS | DS_3DLOOK,
       WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW, L"",
       {
           {1, L"button", 15, 56, 62, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, L"马上查看", 0},
           {1003, L"static", 12, 14, 128, 30, kLabelStyle, L"Static", 0},
           {2, L"button", 81, 56, 59, 14, kChild | WS_TABSTOP, L"稍后处理", 0},
       }},
  };

  for (const ExpectedDialog& expected : dialogs) {
    SCOPED_TRACE("dialog " + std::to_string(expected.id));
    const auto bytes = FindBytes(RT_DIALOG, expected.id, kChinesePrc);
    ASSERT_TRUE(bytes.has_value());
    const auto dialog = ParseDialog(*bytes);
    ASSERT_TRUE(dialog.has_value()) << "not a complete extended dialog template";

    EXPECT_EQ(dialog->style, expected.style);
    EXPECT_EQ(dialog->exStyle, expected.exStyle);
    EXPECT_EQ(dialog->x, expected.x);
    EXPECT_EQ(dialog->y, expected.y);
    EXPECT_EQ(dialog->cx, expected.cx);
    EXPECT_EQ(dialog->cy, expected.cy);
    EXPECT_EQ(dialog->caption, expected.caption);
    EXPECT_TRUE(dialog->menu.text.empty() && !dialog->menu.ordinal) << "dialog has a menu";
    EXPECT_TRUE(dialog->windowClass.text.empty() && !dialog->windowClass.ordinal) << "dialog has its own class";
    EXPECT_EQ(dialog->typeface, L"MS Shell Dlg");
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->weight, FW_NORMAL);
    EXPECT_EQ(dialog->italic, 0);
    EXPECT_EQ(dialog->charset, DEFAULT_CHARSET);

    ASSERT_EQ(dialog->items.size(), expected.controls.size());
    for (size_t i = 0; i < expected.controls.size(); ++i) {
      const ExpectedControl& want = expected.controls[i];
      const DialogItem& item = dialog->items[i];
      SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(static_cast<int>(want.id)) + ")");
      EXPECT_EQ(item.id, want.id);
      EXPECT_EQ(item.className, want.className);
      EXPECT_EQ(item.x, want.x);
      EXPECT_EQ(item.y, want.y);
      EXPECT_EQ(item.cx, want.cx);
      EXPECT_EQ(item.cy, want.cy);
      EXPECT_EQ(item.style, want.style) << std::hex << "0x" << item.style << " instead of 0x" << want.style;
      EXPECT_EQ(item.exStyle, 0u);
      if (want.text != nullptr) {
        EXPECT_FALSE(item.title.ordinal.has_value());
        EXPECT_EQ(item.title.text, want.text);
      } else {
        EXPECT_EQ(item.title.ordinal, std::optional<WORD>(want.iconId));
      }
      EXPECT_EQ(item.extraBytes, 0);
    }
  }
}

struct ExpectedMenuItem {
  UINT id;
  const wchar_t* text;
};

struct ExpectedPopup {
  const wchar_t* text;
  std::vector<ExpectedMenuItem> items;
};

struct MenuEntry {
  UINT type = 0;
  UINT id = 0;
  HMENU submenu = nullptr;
  std::wstring text;
};

std::optional<MenuEntry> ReadMenuEntry(HMENU menu, UINT position) {
  wchar_t text[256] = {};
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
  info.dwTypeData = text;
  info.cch = ARRAYSIZE(text);
  if (!GetMenuItemInfoW(menu, position, TRUE, &info)) return std::nullopt;
  return MenuEntry{info.fType, info.wID, info.hSubMenu, text};
}

class LoadedMenu {
 public:
  explicit LoadedMenu(WORD id) : menu_(LoadMenuW(programModule, MAKEINTRESOURCEW(id))) {}
  ~LoadedMenu() {
    if (menu_ != nullptr) DestroyMenu(menu_);
  }
  LoadedMenu(const LoadedMenu&) = delete;
  LoadedMenu& operator=(const LoadedMenu&) = delete;
  HMENU get() const { return menu_; }

 private:
  HMENU menu_;
};

TEST(ResourcesTest, Menus) {
  struct Row {
    WORD id;
    std::vector<ExpectedPopup> popups;
  };
  const Row menus[] = {
      {109, {{L"&File", {{105, L"E&xit"}}}, {L"&Help", {{104, L"&About ..."}}}}},
      // The tray shows only this popup; position 0 is made its default item.
      {130, {{L"POPUP", {{32777, L"登录Zarnik"}, {32774, L"设置"}, {105, L"退出"}, {104, L"关于Morvane"}}}}},
  };

  for (const Row& row : menus) {
    SCOPED_TRACE("menu " + std::to_string(row.id));
    const LoadedMenu menu(row.id);
    ASSERT_NE(menu.get(), nullptr);
    ASSERT_EQ(GetMenuItemCount(menu.get()), static_cast<int>(row.popups.size()));
    for (size_t p = 0; p < row.popups.size(); ++p) {
      SCOPED_TRACE("popup " + std::to_string(p));
      const auto popup = ReadMenuEntry(menu.get(), static_cast<UINT>(p));
      ASSERT_TRUE(popup.has_value());
      EXPECT_EQ(popup->text, row.popups[p].text);
      ASSERT_NE(popup->submenu, nullptr);
      const auto& items = row.popups[p].items;
      ASSERT_EQ(GetMenuItemCount(popup->submenu), static_cast<int>(items.size()));
      for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        const auto item = ReadMenuEntry(popup->submenu, static_cast<UINT>(i));
        ASSERT_TRUE(item.has_value());
        EXPECT_EQ(item->type, static_cast<UINT>(MFT_STRING)) << "separator or other non-text item";
        EXPECT_EQ(item->submenu, nullptr);
        EXPECT_EQ(item->id, items[i].id);
        EXPECT_EQ(item->text, items[i].text);
      }
    }
  }
}

TEST(ResourcesTest, AcceleratorsOpenAboutFromAltQuestionMarkAndAltSlash) {
  HACCEL table = LoadAcceleratorsW(programModule, MAKEINTRESOURCEW(109));
  ASSERT_NE(table, nullptr);
  ACCEL entries[8] = {};
  const int count = CopyAcceleratorTableW(table, entries, ARRAYSIZE(entries));
  DestroyAcceleratorTable(table);

  // Character codes (no FVIRTKEY), so they match the typed character
  // whichever key produces it.
  const ACCEL expected[] = {{FALT, L'?', 104}, {FALT, L'/', 104}};
  ASSERT_EQ(count, static_cast<int>(ARRAYSIZE(expected)));
  for (size_t i = 0; i < ARRAYSIZE(expected); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(entries[i].fVirt, expected[i].fVirt);
    EXPECT_EQ(entries[i].key, expected[i].key);
    EXPECT_EQ(entries[i].cmd, expected[i].cmd);
  }
}

TEST(ResourcesTest, Strings) {
  // Read into 100-character buffers, as the program does.
  const std::pair<UINT, const wchar_t*> strings[] = {{103, L"Dovrel"}, {106, L"Dovrel"}, {109, L"Dovrel"}};
  for (const auto& [id, expected] : strings) {
    SCOPED_TRACE("string " + std::to_string(id));
    wchar_t text[100] = {};
    const int length = LoadStringW(programModule, id, text, ARRAYSIZE(text));
    EXPECT_EQ(length, static_cast<int>(std::wcslen(expected)));
    EXPECT_EQ(std::wstring(text), expected);
  }
}

struct IconEntry {
  BYTE width, height, colours;
  WORD planes, bits;
  DWORD bytes;
  WORD imageId;
};

std::optional<std::vector<IconEntry>> ReadIconGroup(const ResourceBytes& bytes) {
  ByteReader reader(bytes.data, bytes.size);
  reader.Word();  // reserved
  const WORD type = reader.Word();
  const WORD count = reader.Word();
  if (!reader.ok() || type != 1) return std::nullopt;
  std::vector<IconEntry> entries;
  for (WORD i = 0; i < count; ++i) {
    IconEntry entry;
    entry.width = reader.Byte();
    entry.height = reader.Byte();
    entry.colours = reader.Byte();
    reader.Byte();
    entry.planes = reader.Word();
    entry.bits = reader.Word();
    entry.bytes = reader.Dword();
    entry.imageId = reader.Word();
    entries.push_back(entry);
  }
  if (!reader.ok()) return std::nullopt;
  return entries;
}

std::optional<BITMAPINFOHEADER> ReadBitmapHeader(const ResourceBytes& image) {
  BITMAPINFOHEADER header;
  if (image.size < sizeof header) return std::nullopt;
  std::memcpy(&header, image.data, sizeof header);
  if (header.biSize != sizeof header) return std::nullopt;  // also rejects PNG-compressed images
  return header;
}

TEST(ResourcesTest, IconImages) {
  struct Row {
    WORD id;
    std::vector<int> sizes;
    WORD bits;
    BYTE colours;  // as the icon directory states it: 0 for more than 256
  };
  const Row groups[] = {
      {107, {16, 32, 48, 64}, 32, 0}, {130, {16}, 4, 16}, {131, {16}, 4, 16},
      {132, {16}, 4, 16},             {133, {16}, 4, 16},
  };

  for (const Row& row : groups) {
    SCOPED_TRACE("icon " + std::to_string(row.id));
    const auto group = FindBytes(RT_GROUP_ICON, row.id, kChinesePrc);
    ASSERT_TRUE(group.has_value());
    const auto entries = ReadIconGroup(*group);
    ASSERT_TRUE(entries.has_value());

    std::vector<int> sizes;
    for (const IconEntry& entry : *entries) {
      SCOPED_TRACE(std::to_string(entry.width) + "x" + std::to_string(entry.height));
      sizes.push_back(entry.width);
      EXPECT_EQ(entry.height, entry.width);
      EXPECT_EQ(entry.planes, 1);
      EXPECT_EQ(entry.bits, row.bits);
      EXPECT_EQ(entry.colours, row.colours);

      const auto image = FindBytes(RT_ICON, entry.imageId, kChinesePrc);
      ASSERT_TRUE(image.has_value());
      EXPECT_EQ(image->size, entry.bytes);
      const auto header = ReadBitmapHeader(*image);
      ASSERT_TRUE(header.has_value()) << "not an uncompressed bitmap";
      EXPECT_EQ(header->biWidth, entry.width);
      EXPECT_EQ(header->biHeight, 2 * entry.height) << "colour bits and mask";
      EXPECT_EQ(header->biBitCount, row.bits);

      HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image->data), static_cast<DWORD>(image->size), TRUE,
                                            0x00030000, entry.width, entry.height, LR_DEFAULTCOLOR);
      EXPECT_NE(icon, nullptr) << "the system cannot make an icon of it";
      if (icon != nullptr) DestroyIcon(icon);
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, row.sizes);
  }
}

TEST(ResourcesTest, ApplicationIconHasTransparentAndOpaquePixels) {
  const auto group = FindBytes(RT_GROUP_ICON, 107, kChinesePrc);
  ASSERT_TRUE(group.has_value());
  const auto entries = ReadIconGroup(*group);
  ASSERT_TRUE(entries.has_value());
  for (const IconEntry& entry : *entries) {
    SCOPED_TRACE(std::to_string(entry.width) + " px");
    const auto image = FindBytes(RT_ICON, entry.imageId, kChinesePrc);
    ASSERT_TRUE(image.has_value());
    const size_t pixelBytes = sizeof(BITMAPINFOHEADER) + size_t{4} * entry.width * entry.height;
    ASSERT_GE(image->size, pixelBytes);
    std::set<BYTE> alphas;
    for (size_t at = sizeof(BITMAPINFOHEADER) + 3; at < pixelBytes; at += 4) alphas.insert(image->data[at]);
    EXPECT_TRUE(alphas.count(0)) << "no transparent pixel: the icon would sit on a square";
    EXPECT_TRUE(alphas.count(255)) << "no opaque pixel";
  }
}

// Opaque pixels of a 16x16, 16-colour icon image, and whether all of them are
// black; nothing when the image is not one.
struct FramePixels {
  std::set<std::pair<int, int>> opaque;
  bool allBlack = true;
};

std::optional<FramePixels> ReadFrame(WORD groupId) {
  const auto group = FindBytes(RT_GROUP_ICON, groupId, kChinesePrc);
  if (!group) return std::nullopt;
  const auto entries = ReadIconGroup(*group);
  if (!entries || entries->size() != 1) return std::nullopt;
  const auto image = FindBytes(RT_ICON, entries->front().imageId, kChinesePrc);
  if (!image) return std::nullopt;
  const auto header = ReadBitmapHeader(*image);
  if (!header || header->biWidth != 16 || header->biHeight != 32 || header->biBitCount != 4) return std::nullopt;

  constexpr int kSize = 16;
  constexpr size_t kColourStride = 8;  // 16 pixels of 4 bits
  constexpr size_t kMaskStride = 4;    // 16 bits, padded to a DWORD
  const size_t paletteEntries = header->biClrUsed != 0 ? header->biClrUsed : 16;
  const size_t palette = sizeof(BITMAPINFOHEADER);
  const size_t colour = palette + 4 * paletteEntries;
  const size_t mask = colour + kColourStride * kSize;
  if (paletteEntries > 16 || image->size < mask + kMaskStride * kSize) return std::nullopt;

  FramePixels frame;
  for (int y = 0; y < kSize; ++y) {
    const int row = kSize - 1 - y;  // rows are stored bottom-up
    for (int x = 0; x < kSize; ++x) {
      const bool transparent = image->data[mask + row * kMaskStride + x / 8] & (0x80 >> (x % 8));
      if (transparent) continue;
      frame.opaque.insert({x, y});
      const BYTE pair = image->data[colour + row * kColourStride + x / 2];
      const size_t index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
      if (index >= paletteEntries) return std::nullopt;
      const BYTE* rgbQuad = image->data + palette + 4 * index;
      if (rgbQuad[0] != 0 || rgbQuad[1] != 0 || rgbQuad[2] != 0) frame.allBlack = false;
    }
  }
  return frame;
}

// Whether a step-by-step walk through transparent pixels (no diagonal steps)
// leads from the frame's edge to the pixel: not so inside a closed outline.
bool ReachableFromEdge(const std::set<std::pair<int, int>>& opaque, std::pair<int, int> target) {
  std::set<std::pair<int, int>> seen;
  std::vector<std::pair<int, int>> pending;
  for (int i = 0; i < 16; ++i)
    for (const auto& start : {std::pair{i, 0}, {i, 15}, {0, i}, {15, i}}) pending.push_back(start);
  while (!pending.empty()) {
    const auto pixel = pending.back();
    pending.pop_back();
    const auto [x, y] = pixel;
    if (x < 0 || x > 15 || y < 0 || y > 15 || opaque.count(pixel) || !seen.insert(pixel).second) continue;
    if (pixel == target) return true;
    pending.insert(pending.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
  }
  return false;
}

std::set<std::pair<int, int>> Mirrored(const std::set<std::pair<int, int>>& pixels) {
  std::set<std::pair<int, int>> mirrored;
  for (const auto& [x, y] : pixels) mirrored.insert({15 - x, y});
  return mirrored;
}

TEST(ResourcesTest, AnimationFramesAreThinBlackSquareOutlines) {
  for (WORD id = 130; id <= 133; ++id) {
    SCOPED_TRACE("icon " + std::to_string(id));
    const auto frame = ReadFrame(id);
    ASSERT_TRUE(frame.has_value()) << "not a 16x16 image with 16 colours";
    EXPECT_TRUE(frame->allBlack);
    EXPECT_FALSE(ReachableFromEdge(frame->opaque, {7, 7})) << "no closed outline around the centre";
    for (const auto& corner : {std::pair{0, 0}, {15, 0}, {0, 15}, {15, 15}})
      EXPECT_FALSE(frame->opaque.count(corner)) << "background is not transparent";
    for (const auto& middle : {std::pair{7, 7}, {8, 7}, {7, 8}, {8, 8}})
      EXPECT_FALSE(frame->opaque.count(middle)) << "a filled shape, not an outline";
    for (const auto& [x, y] : frame->opaque) {
      const bool block = frame->opaque.count({x + 1, y}) && frame->opaque.count({x, y + 1}) &&
                         frame->opaque.count({x + 1, y + 1});
      EXPECT_FALSE(block) << "line thicker than one pixel at " << x << "," << y;
    }
  }
}

TEST(ResourcesTest, AnimationFramesTurnCounterClockwise) {
  const auto upright = ReadFrame(130);
  const auto slightlyTurned = ReadFrame(131);
  const auto onCorner = ReadFrame(132);
  const auto furtherTurned = ReadFrame(133);
  ASSERT_TRUE(upright && slightlyTurned && onCorner && furtherTurned);

  // Upright and on a corner, the square looks the same in a mirror; the two
  // turned frames are each other's mirror image.
  EXPECT_EQ(Mirrored(upright->opaque), upright->opaque);
  EXPECT_EQ(Mirrored(onCorner->opaque), onCorner->opaque);
  EXPECT_EQ(Mirrored(slightlyTurned->opaque), furtherTurned->opaque);
  EXPECT_NE(slightlyTurned->opaque, upright->opaque);
  EXPECT_NE(slightlyTurned->opaque, onCorner->opaque);

  // Turned counter-clockwise, the square's top corner moves to the right of
  // the centre: 131 follows 130 as a counter-clockwise step, not a clockwise one.
  ASSERT_FALSE(slightlyTurned->opaque.empty());
  int top = 15;
  for (const auto& pixel : slightlyTurned->opaque) top = std::min(top, pixel.second);
  int sumX = 0, count = 0;
  for (const auto& [x, y] : slightlyTurned->opaque) {
    if (y == top) {
      sumX += x;
      ++count;
    }
  }
  EXPECT_GT(2 * sumX, 15 * count) << "top corner of 131 is not right of the centre";
}

struct LocalFreeDeleter {
  void operator()(LPWSTR* arguments) const { LocalFree(arguments); }
};

}  // namespace

int main() {
  // Wide arguments, so that a path outside the ANSI code page still loads.
  int argc = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
  if (!argv) return 2;
  testing::InitGoogleTest(&argc, argv.get());
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: resources_test PROGRAM.exe [gtest options]\n");
    return 2;
  }

  programModule = LoadLibraryExW(argv.get()[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (programModule == nullptr) {
    std::fwprintf(stderr, L"cannot load %ls as resources (error %lu)\n", argv.get()[1], GetLastError());
    return 2;
  }
  const int result = RUN_ALL_TESTS();
  FreeLibrary(programModule);
  return result;
}
