// Names of a table's files.  Every file of a table is named after its schema
// file by replacing the extension, and opening, rebuilding, the schema writer
// and the table utilities must all agree on what the extension is.
#pragma once

#include <string>

namespace velmora {

// The extension of path is the text after the last "." that follows the last
// path separator ("/"; on Windows also "\" and ":"), so a folder name with a
// dot in it is never taken for an extension.  Returns path with its extension
// (and that ".") replaced by ext (which carries its own "."); a path without
// an extension gets ext appended.
std::string ReplaceExtension(const std::string &path, const std::string &ext);

}  // namespace velmora
