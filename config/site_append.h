#ifndef CONFIG_SITE_APPEND_H_
#define CONFIG_SITE_APPEND_H_

#include <string>

#include "platform/outcome.h"

// Adds a site to the configuration at `path` as the user's editor would:
// `section` (its lines, LF-separated, comment lines included) goes at the
// end after a blank line, and NumOfSites in [General] becomes `site` (a line
// of its own after [General] when the key is missing). Every other byte of
// the file stays as it was: its encoding (UTF-8 with or without its
// byte-order mark, the legacy code page, UTF-16 either way round on
// Windows), its line ends (the section takes the file's own), the other
// sections and the history; a Ctrl-Z that ends what a run reads stays
// last, with whatever follows it. The file is replaced whole (ReplaceFileAtomically),
// so a failure leaves it as it was. Fails, saying why, for a missing or
// read-only file and one without [General].
Outcome AppendSiteSection(const std::string& path, const std::string& section, int site);

#endif  // CONFIG_SITE_APPEND_H_
