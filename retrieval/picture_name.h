#ifndef RETRIEVAL_PICTURE_NAME_H_
#define RETRIEVAL_PICTURE_NAME_H_

#include <string>

// The name a picture fetched from `url` is saved under, `content_format`
// being the format its content's signature shows (picture/formats.h, -1
// when none). The text after the URL's last "/" when it has a known
// picture extension and no character that Windows or POSIX refuses in a
// file name. Otherwise the URL's last path segment without query and
// fragment (its characters made safe, its picture extension dropped), "-",
// the URL's hash (PictureUrlHash) and the content's extension: so
// ".../th?id=A" and ".../th?id=B" never share a file. Where the content
// is no known picture either, the text after the last "/" itself, as long
// as it is a safe name, else the segment and the hash without extension;
// "" when the URL has no "/" or leaves nothing to name the file by.
std::string PictureFileName(const std::string& url, int content_format);

// Eight hexadecimal digits from the whole of `url` (FNV-1a), the same on
// every system and in every run.
std::string PictureUrlHash(const std::string& url);

// True when `name` can name a file on both Windows and POSIX: not empty,
// not "." or "..", no control character and none of <>:"/\|?*, not ending
// in a dot or a blank, not a Windows device name (CON, NUL, COM1, ...).
bool IsPortableFileName(const std::string& name);

#endif  // RETRIEVAL_PICTURE_NAME_H_
