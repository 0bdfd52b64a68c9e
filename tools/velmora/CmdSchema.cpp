// velmora schema: the create command that defines the same table again.
#include <cctype>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"
#include "TableFiles.h"

namespace vtool {

const char *const kSchemaHelp =
    "Usage: velmora schema TABLE.vri [NEW.vri]\n\n"
    "Prints the velmora create command that defines a table with the same fields\n"
    "and indexes (named NEW.vri, or TABLE.vri), quoted for a POSIX shell.\n";

namespace {

// A word as a POSIX shell reads it back: quoted when it holds anything special.
std::string ShellWord(const std::string &word) {
  bool plain = !word.empty();
  for (unsigned char c : word)
    if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == '/' || c == ':' || c == ',' || c >= 0x80))
      plain = false;
  if (plain) return word;
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

int RunSchema(const Arguments &argv) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(kSchemaHelp), 0;
  if (args.positionals().empty() || args.positionals().size() > 2)
    throw UsageError("expected a table name and optionally the new table's name");
  const std::string path = args.positionals()[0];
  RequireSchemaFile(path);
  const Schema schema = ReadSchema(path);
  if (!schema.problems.empty()) throw ToolError(path + ": " + schema.problems.front());
  std::string command = "velmora create " + ShellWord(args.positionals().size() == 2 ? args.positionals()[1] : path);
  for (const Field &field : schema.fields) {
    std::string definition = field.name + ":" + field.type;
    if (field.type == 'S') definition += ":" + std::to_string(field.maxChars());
    command += " \\\n    --field " + ShellWord(definition);
  }
  for (const SchemaIndex &index : schema.indexes) {
    std::string definition = index.name + ":";
    for (size_t k = 0; k < index.fields.size(); ++k)
      definition += (k ? "," : "") + schema.fields.at(index.fields[k]).name;
    command += " \\\n    --index " + ShellWord(definition);
  }
  std::cout << command << '\n';
  return 0;
}

}  // namespace vtool
