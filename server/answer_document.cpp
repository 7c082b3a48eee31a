#include "server/answer_document.h"

#include <pugixml.hpp>
#include <sstream>

namespace klv::sus {

std::string ArchiveUrl(const std::string& base_url, const ManifestEntry& entry, size_t index) {
  return base_url + "/update/" + std::to_string(index + 1) + "/sus/" + ArchiveBaseName(entry);
}

std::string BuildAnswerDocument(const std::vector<ManifestEntry>& manifest,
                                const std::vector<size_t>& offered, const std::string& base_url) {
  pugi::xml_document document;
  // The updater reads the answer by the XML rules, UTF-8 unless declared otherwise; the
  // declaration names the encoding for any other reader too.
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  pugi::xml_node klv = document.append_child("klv");
  pugi::xml_node files = klv.append_child("files");
  for (const ManifestEntry& entry : manifest) {
    files.append_child("file").append_attribute("name").set_value(entry.target.c_str());
  }
  pugi::xml_node updates = klv.append_child("updates");
  for (const size_t index : offered) {
    const ManifestEntry& entry = manifest.at(index);
    pugi::xml_node update = updates.append_child("update");
    update.append_attribute("name").set_value(entry.target.c_str());
    update.append_attribute("version").set_value(entry.version.c_str());
    update.append_attribute("url").set_value(ArchiveUrl(base_url, entry, index).c_str());
  }
  std::ostringstream out;
  document.save(out, "", pugi::format_raw, pugi::encoding_utf8);
  return out.str();
}

}  // namespace klv::sus
