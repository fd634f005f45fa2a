// The files of the catalogue's page as p3dtool writes them (index.html, its
// style and its script), built into the program from tools/catalogue/.
#pragma once

#include <span>
#include <string_view>

namespace p3dtool {

struct TCatalogueFile {
    std::string_view Name;   // in the catalogue's folder
    std::string_view Bytes;  // the file as it is in tools/catalogue/
};

std::span<const TCatalogueFile> CatalogueFiles();

}  // namespace p3dtool
