#include "import/XmlTree.h"

#include <libxml/parser.h>

#include <stdexcept>

namespace tomelet::importer {

TXmlDocument ParseXml(std::string_view text, std::string_view what) {
  constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  xmlDocPtr parsed =
      xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kOptions);
  if (parsed == nullptr || xmlDocGetRootElement(parsed) == nullptr) {
    xmlFreeDoc(parsed);
    throw std::runtime_error(std::string(what) + " is not well-formed XML");
  }
  return {parsed, xmlFreeDoc};
}

std::string_view LocalName(const xmlNode* node) {
  return node->name ? reinterpret_cast<const char*>(node->name) : "";
}

std::string XmlAttribute(const xmlNode* node, std::string_view name) {
  for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
    if (reinterpret_cast<const char*>(attribute->name) == name) {
      xmlChar* value = xmlNodeListGetString(node->doc, attribute->children, 1);
      std::string text = value ? reinterpret_cast<const char*>(value) : "";
      xmlFree(value);
      return text;
    }
  }
  return {};
}

std::string XmlText(const xmlNode* node) {
  xmlChar* value = xmlNodeGetContent(node);
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

const xmlNode* FindElement(const xmlNode* node, std::string_view name) {
  if (node == nullptr)
    return nullptr;
  if (node->type == XML_ELEMENT_NODE && LocalName(node) == name)
    return node;
  for (const xmlNode* child = node->children; child; child = child->next) {
    if (const xmlNode* found = FindElement(child, name))
      return found;
  }
  return nullptr;
}

void ForEachChildElement(const xmlNode* node, const std::function<void(const xmlNode*)>& visit) {
  for (const xmlNode* child = node->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE)
      visit(child);
  }
}

}  // namespace tomelet::importer
