// Names of a table's files.  Every file of a table is named after its schema
// file by replacing the extension; creating, opening, rebuilding, the table
// utilities and the velmora tool all take the names from here.  The letter
// case of each extension is the one the files are created with; opening finds
// a file whatever the case of its name (the platform folds it).
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// The extension of path is the text after the last "." that follows the last
// path separator ("/"; on Windows also "\" and ":"), so a folder name with a
// dot in it is never taken for an extension.  Returns path with its extension
// (and that ".") replaced by ext (which carries its own "."); a path without
// an extension gets ext appended.
std::string ReplaceExtension(const std::string &path, const std::string &ext);

// The schema file: "T.vri".
std::string SchemaFileName(const std::string &tablePath);
// The data file: "T.vrd".
std::string DataFileName(const std::string &tablePath);
// The leaf file of index i (0-based): "T.va1", "T.vb1", ...
std::string LeafFileName(const std::string &tablePath, int32_t i);
// The directory file of index i (0-based): "T.va2", "T.vb2", ...
std::string DirectoryFileName(const std::string &tablePath, int32_t i);
// The side file with the change counter, the journal and the lock slots: "T.VRJ".
std::string JournalFileName(const std::string &tablePath);
// The copy of the data file that a rebuild keeps: "T.VXX".
std::string BackupFileName(const std::string &tablePath);

}  // namespace velmora
