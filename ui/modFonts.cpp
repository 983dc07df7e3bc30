#include "ui/modFonts.h"

#include "platform/Registry.h"
#include "runtime/CodePage.h"
#include "runtime/Conversion.h"
#include "runtime/RuntimeError.h"
#include "system/clsRegistry.h"

namespace qx6::modFonts {

std::optional<int16_t> CharSetOfCodePage(uint32_t codePage) {
  switch (codePage) {
    case 1252: return ANSI_CHARSET;
    case 1250: return 238;
    case 1251: return 204;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1258: return 163;
    case 874: return 222;
    case 932: return SHIFTJIS_CHARSET;
    case 936: return GB2312_CHARSET;
    case 949: return HANGUL_CHARSET;
    case 950: return CHINESEBIG5_CHARSET;
    case 437: case 850: return 255;  // the OEM character set
    default: return std::nullopt;
  }
}

namespace {

Variant ReadFontValue(const std::string& name, const char* defaultText) {
  clsRegistry registry;
  registry.SetClassKey(platform::HKEY_CURRENT_USER);
  registry.SetSectionKey("Software\\Quorvex 6\\Font");
  return registry.GetValueOrDefault(name, Variant::String(defaultText));
}

int16_t ToSmall(const Variant& value, int16_t fallback) {
  try {
    return Convert::ToInteger(value);
  } catch (const RuntimeError&) {
    // A damaged setting must not keep the dialog from opening.
    return fallback;
  }
}

}  // namespace

std::optional<UIFont> ReadFontSetting() {
  const Variant name = ReadFontValue("FontName", "");
  const std::string face = name.IsString() ? std::string(name.StringValue()) : Convert::ToText(name);
  if (face.empty()) return std::nullopt;
  UIFont font;
  font.charSet = ToSmall(ReadFontValue("FontCharSet", "0"), 0);
  font.name = face;
  font.size = ToSmall(ReadFontValue("FontSize", "8"), 8);
  return font;
}

std::optional<UIFont> LoadDialogFont(const FontCatalog& catalog) {
  if (auto setting = ReadFontSetting()) return setting;
  return ChooseUIFont(catalog);
}

std::optional<UIFont> ChooseUIFont(const FontCatalog& catalog) { return ChooseUIFont(catalog, CodePage::Ansi()); }

std::optional<UIFont> ChooseUIFont(const FontCatalog& catalog, uint32_t codePage) {
  if (codePage == 0) return std::nullopt;
  const std::optional<int16_t> charSet = CharSetOfCodePage(codePage);
  if (!charSet) return std::nullopt;
  for (const char* face : {"MS Sans Serif", "Arial", "Tahoma"}) {
    const UIFont requested{face, 8, *charSet};
    const UIFont got = catalog.Realize(requested);
    if (got.name == requested.name && got.charSet == requested.charSet) return requested;
  }
  switch (*charSet) {
    case SHIFTJIS_CHARSET: return UIFont{"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", 9, SHIFTJIS_CHARSET};
    case HANGUL_CHARSET: return UIFont{"\uAD74\uB9BC", 9, HANGUL_CHARSET};
    case GB2312_CHARSET: return UIFont{"\u5B8B\u4F53", 9, GB2312_CHARSET};
    case CHINESEBIG5_CHARSET: return UIFont{"\u65B0\u7D30\u660E\u9AD4", 9, CHINESEBIG5_CHARSET};
    default: return UIFont{"Arial", 8, DEFAULT_CHARSET};
  }
}

void ApplyFont(UIFont& formFont, const std::vector<FontTarget*>& controls, const std::optional<UIFont>& newFont) {
  if (!newFont) return;
  const UIFont& n = *newFont;
  for (FontTarget* control : controls) {
    if (!control) continue;
    try {
      if (const std::optional<UIFont> own = control->Font()) {
        const auto takeNewFace = [&] {
          control->SetFontName(n.name);
          control->SetFontCharSet(n.charSet);
          if (own->size == formFont.size) control->SetFontSize(n.size);
        };
        if (own->name != formFont.name) {
          // A face of its own stays when it covers the new character set.
          control->SetFontCharSet(n.charSet);
          const std::optional<UIFont> after = control->Font();
          if (!after || after->name != own->name || after->charSet != n.charSet) takeNewFace();
        } else {
          takeNewFace();
        }
      }
      // Controls that carry the whole font in properties of their own (the
      // columns grid among them) take the new face, set and size outright.
      const std::string type = control->TypeName();
      if (type == "PVOutlookBar" || type == "SSActiveTabs" || type == "VSFlexGrid" || type == "ColumnsGrid") {
        control->SetFontName(n.name);
        control->SetFontCharSet(n.charSet);
        control->SetFontSize(n.size);
      }
    } catch (...) {
      // A control that rejects a value is skipped for it.
    }
  }
  formFont = n;
}

}  // namespace qx6::modFonts
