// The settings' texts (code page 932) in the encodings Linux tools read.
//
// local_path() gives a path or command line in the file system's encoding:
// the locale's character set, or UTF-8 where the locale names none but ASCII
// (the C locale of a service), as Linux file names are UTF-8 by convention.
// A text of ASCII alone is returned as it is; a text with no form in that
// encoding is returned unchanged too. The last four conversions of each
// thread are kept, so the paths used for every trap are converted once and
// cost no allocation afterwards; the reference stays valid until the
// thread's next call.
//
// to_utf8() converts for syslog and the journal; false when the text has no
// UTF-8 form.
#pragma once

#include <string>

const std::string& local_path(const char* cp932);
bool to_utf8(const char* cp932, std::string& out);
