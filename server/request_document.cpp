#include "server/request_document.h"

#include <pugixml.hpp>

#include "common/codepage.h"

namespace klv::sus {

UpdateRequest ParseRequestDocument(std::string_view body) {
  // The updater sends its system's ANSI code page and no declaration, so the bytes are
  // decoded here and the parser is told to take UTF-8 whatever the text claims.
  const std::string text = CodePageToUtf8(body, CodePage::kAnsi1252);
  pugi::xml_document document;
  // Without parse_doctype a DOCTYPE is skipped, and pugixml expands no entity other than the
  // five predefined ones and character references, so no entity can grow the text.
  const pugi::xml_parse_result result =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!result) {
    throw RequestError(std::string("the request is not well-formed XML: ") + result.description() +
                       " at offset " + std::to_string(result.offset));
  }
  const pugi::xml_node klv = document.document_element();
  if (std::string_view(klv.name()) != "klv") {
    throw RequestError("the request's document element is not klv");
  }
  // pugixml takes a fragment with several top-level elements; a document has one.
  size_t elements = 0;
  for (const pugi::xml_node node : document.children()) {
    if (node.type() == pugi::node_element) ++elements;
  }
  if (elements > 1) {
    throw RequestError("the request has more than one document element");
  }
  return UpdateRequest{klv.attribute("computer").value(), klv.attribute("domain").value(),
                       klv.attribute("source").value()};
}

}  // namespace klv::sus
