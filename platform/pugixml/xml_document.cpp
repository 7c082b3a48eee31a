#include "platform/xml_document.h"

#include <pugixml.hpp>
#include <sstream>

namespace klv::platform {

namespace {

pugi::xml_node Node(pugi::xml_node_struct* node) {
  return pugi::xml_node(node);
}

std::string Key(std::string_view name) {
  return std::string(name);
}

}  // namespace

std::string XmlNode::Name() const {
  return Node(node_).name();
}

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> children;
  for (pugi::xml_node child : Node(node_).children()) {
    if (child.type() == pugi::node_element) children.push_back(XmlNode(child.internal_object()));
  }
  return children;
}

XmlNode XmlNode::FirstChild(std::string_view name) const {
  return XmlNode(Node(node_).child(Key(name).c_str()).internal_object());
}

bool XmlNode::HasAttribute(std::string_view name) const {
  return !Node(node_).attribute(Key(name).c_str()).empty();
}

std::string XmlNode::Attribute(std::string_view name) const {
  return Node(node_).attribute(Key(name).c_str()).value();
}

XmlNode XmlNode::AppendChild(std::string_view name) {
  return XmlNode(Node(node_).append_child(Key(name).c_str()).internal_object());
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  pugi::xml_node node = Node(node_);
  const std::string key = Key(name);
  pugi::xml_attribute attribute = node.attribute(key.c_str());
  if (attribute.empty()) attribute = node.append_attribute(key.c_str());
  attribute.set_value(std::string(value).c_str());
}

void XmlNode::SetBoolAttribute(std::string_view name, bool value) {
  SetAttribute(name, value ? std::string_view("true") : std::string_view("false"));
}

XmlDocument::XmlDocument() : document_(std::make_unique<pugi::xml_document>()) {}

XmlDocument::~XmlDocument() = default;

XmlNode XmlDocument::AddDocumentElement(std::string_view name) {
  return XmlNode(document_->append_child(Key(name).c_str()).internal_object());
}

std::string XmlDocument::Serialize() const {
  std::ostringstream out;
  document_->save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return out.str();
}

void XmlDocument::Parse(std::string_view bytes) {
  document_->reset();
  if (bytes.empty()) return;
  const pugi::xml_parse_result result =
      document_->load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
  if (!result) {
    document_->reset();
    throw XmlParseError(std::string(result.description()) + " at offset " +
                        std::to_string(result.offset));
  }
}

XmlNode XmlDocument::FirstTopLevel(std::string_view name) const {
  return XmlNode(document_->child(Key(name).c_str()).internal_object());
}

}  // namespace klv::platform
