#include "config/modXMLHelper.h"

#include "runtime/Strings.h"

namespace qx6::modXMLHelper {

std::string XmlDeclaration() { return "<?xml version=\"1.0\"?>"; }

std::string XmlOpenTag(std::string_view name) {
  std::string tag = "<";
  tag += name;
  tag += '>';
  return tag;
}

std::string XmlCloseTag(std::string_view name) {
  std::string tag = "</";
  tag += name;
  tag += '>';
  return tag;
}

std::string XmlElement(std::string_view name, std::string_view value) {
  return XmlOpenTag(name) + XmlEscape(value) + XmlCloseTag(name);
}

std::string XmlEscape(std::string_view text) {
  std::string s(text);
  Strings::ReplaceInPlace(s, "&", "&amp");
  Strings::ReplaceInPlace(s, "<", "&lt");
  Strings::ReplaceInPlace(s, ">", "&gt");
  Strings::ReplaceInPlace(s, "\"", "&quot");
  Strings::ReplaceInPlace(s, "'", "&apos");
  Strings::ReplaceInPlace(s, "\r\n", "&#xD;");
  return s;
}

std::string XmlUnescape(std::string_view text) {
  std::string s(text);
  Strings::ReplaceInPlace(s, "&lt", "<");
  Strings::ReplaceInPlace(s, "&gt", ">");
  Strings::ReplaceInPlace(s, "&quot", "\"");
  Strings::ReplaceInPlace(s, "&apos", "'");
  Strings::ReplaceInPlace(s, "&amp", "&");
  Strings::ReplaceInPlace(s, "&#xD;", "\r\n");
  return s;
}

std::string XmlTagName(std::string_view line) {
  size_t open = line.find('<');
  size_t close = line.find('>');
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open) return {};
  return std::string(line.substr(open + 1, close - open - 1));
}

std::string XmlTagValue(std::string_view line) {
  size_t close = line.find('>');
  size_t open = line.rfind('<');
  if (close == std::string_view::npos || open == std::string_view::npos || open <= close) return {};
  return XmlUnescape(line.substr(close + 1, open - close - 1));
}

}  // namespace qx6::modXMLHelper
