// Making "update.file" list exactly the components the server names.
#pragma once

#include "platform/xml_document.h"
#include "update/name_value_list.h"

namespace klv {

class RunContext;

// Adds a line "name=" for every `file` the server lists that the catalog lacks, removes
// every line whose name the server no longer lists, and saves "update.file" in that order.
void ReconcileCatalog(RunContext& run, platform::XmlNode files, NameValueList& catalog);

}  // namespace klv
