// Strangers' XML read with libxml2 without the network, entities or external subsets, and the
// few walks the readers need over the tree.
#pragma once

#include <libxml/tree.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tomelet::importer {

using TXmlDocument = std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)>;

// Throws std::runtime_error "<what> is not well-formed XML".
TXmlDocument ParseXml(std::string_view text, std::string_view what);

// The element's local name, without a namespace prefix.
std::string_view LocalName(const xmlNode* node);
// The attribute by local name, in any namespace; empty when absent.
std::string XmlAttribute(const xmlNode* node, std::string_view name);
std::string XmlText(const xmlNode* node);
// The first element below node (node included) with this local name; null when none.
const xmlNode* FindElement(const xmlNode* node, std::string_view name);
// Calls visit for every element child of node.
void ForEachChildElement(const xmlNode* node, const std::function<void(const xmlNode*)>& visit);

}  // namespace tomelet::importer
