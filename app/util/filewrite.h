#pragma once
// Replacing a file without ever leaving it half written.
#include <string>
#include <string_view>

// Writes the bytes to a temporary file in the target's folder (mkstemp), syncs and closes it, then renames
// it over the target. Returns 0 on success, otherwise the errno of the first step that failed; on failure
// the temporary file is removed and an existing target is left as it was. A target that is a symbolic
// link is written through the link. A new file gets the usual 0666 less the process umask; a replaced
// file keeps its permission bits.
int WriteFileReplacing(const std::string& path, std::string_view bytes);

// The system's text for an errno value ("No such file or directory").
std::string ErrorText(int error);
