// The text of upload-list entries exactly as json-c writes them, made
// straight into one growing string: a json-c tree per entry would cost an
// allocation per member and a copy per entry for the same bytes.
#pragma once

#include <string>

#include "Common/FileList.h"

// Appends `text` as a JSON string the way json-c escapes it.
void AppendJSONString(const char* text, std::string& out);
// Appends a size the way the list writes it: "%f", or json-c's own form for
// values that "%f" would not fit.
void AppendSize(double size, std::string& out);
// Appends one entry: { "file_path": ..., "relative_path": ..., "size": ... }.
void AppendEntryJSON(const xwstring_pair& key, double size, std::string& out);
