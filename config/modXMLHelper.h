// The element functions of the configuration file format: a line-oriented
// text that looks like XML, one element per line, with entities that carry
// no closing semicolon (only "&#xD;" for CR LF has one).
#pragma once

#include <string>
#include <string_view>

namespace qx6::modXMLHelper {

// <?xml version="1.0"?>
std::string XmlDeclaration();
// "<name>" escaped value "</name>".
std::string XmlElement(std::string_view name, std::string_view value);
std::string XmlOpenTag(std::string_view name);
std::string XmlCloseTag(std::string_view name);
// & < > " ' and CR LF, in that order.
std::string XmlEscape(std::string_view text);
// &lt &gt &quot &apos &amp and last &#xD;, in that order.
std::string XmlUnescape(std::string_view text);
// Between the first "<" and the first ">"; empty unless ">" follows "<".
std::string XmlTagName(std::string_view line);
// Between the first ">" and the last "<", unescaped; empty unless that "<"
// follows the ">".
std::string XmlTagValue(std::string_view line);

}  // namespace qx6::modXMLHelper
