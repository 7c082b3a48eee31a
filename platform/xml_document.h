// The XML DOM the engine uses: build and serialise the request, parse and read the answer.
// Nodes are handles; an empty handle answers empty values, so lookup chains need no checks.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
struct xml_node_struct;
class xml_document;
}  // namespace pugi

namespace klv::platform {

class XmlParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class XmlNode {
 public:
  XmlNode() = default;
  bool empty() const { return node_ == nullptr; }
  std::string Name() const;
  // Element children in document order.
  std::vector<XmlNode> Children() const;
  // The first element child whose name matches exactly; empty when none.
  XmlNode FirstChild(std::string_view name) const;
  bool HasAttribute(std::string_view name) const;
  std::string Attribute(std::string_view name) const;  // empty when missing

  // Appends an element child and answers it. Not for empty handles.
  XmlNode AppendChild(std::string_view name);
  // Sets (or adds, at the end) an attribute; a Boolean is written "true" or "false".
  void SetAttribute(std::string_view name, std::string_view value);
  void SetBoolAttribute(std::string_view name, bool value);

 private:
  friend class XmlDocument;
  explicit XmlNode(pugi::xml_node_struct* node) : node_(node) {}
  pugi::xml_node_struct* node_ = nullptr;
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Adds the document element.
  XmlNode AddDocumentElement(std::string_view name);
  // The markup of the whole document: no declaration, no indentation, no line breaks.
  std::string Serialize() const;

  // Replaces the document with the parsed bytes; the encoding follows a byte-order mark or
  // the declaration, UTF-8 otherwise. Empty bytes give an empty document. Throws
  // XmlParseError with the parser's message for text that is not well-formed.
  void Parse(std::string_view bytes);
  // The first top-level element with this exact name; empty when none.
  XmlNode FirstTopLevel(std::string_view name) const;

 private:
  std::unique_ptr<pugi::xml_document> document_;
};

}  // namespace klv::platform
