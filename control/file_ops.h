// File-system and text helpers shared by the control's operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/base/ascii.h"

namespace gridwell::fileops {

// True when a query for the path finds an entry, and also when the query itself fails (a path
// that cannot be asked about, e.g. one holding a NUL); false only when nothing is there.
bool FileExists(const std::string& path);

// The part before the first NUL character.
std::string CutAtNull(const std::string& text);
// The part after the last "/"; the whole text when it holds none.
std::string FileNameOf(const std::string& path);
// Leading and trailing spaces removed (spaces only, not tabs or line breaks).
std::string TrimSpaces(const std::string& text);
using base::EqualsNoCase;
using base::LowerAscii;

// The part of the path from its last "." to the end, lower-cased, dot included; "" when the
// path holds no ".".
std::string ExtensionOf(const std::string& path);

// A sheet tag made safe for a file name: "%" , "/" and NUL are escaped as %XX, and so is every
// "." of a tag that holds "..". Distinct tags stay distinct; equal tags give equal names.
std::string FileSafeTag(const std::string& tag);

// The page's file name for a workbook file name: the name without its last extension (the
// `extension` at its end, compared without regard to case) + "_" + tag + ".htm", so that
// "a.xlsx.b.xlsx" gives "a.xlsx.b_1.htm"; when the name does not end with the extension,
// "_" + tag + ".htm" is appended, so the page never is the workbook itself.
std::string PageFileName(const std::string& workbookFileName, const std::string& extension,
                         const std::string& sheetTag);

// Writes `data` to `path` whole or not at all: a temporary file beside the target, renamed over
// it when complete, by the rule of conv::PageFile (a link at the target is replaced, not
// followed; a target that is no regular file is refused). False when nothing was written.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data);

// Copies `from` to `to` through a temporary file beside `to`, renamed over it only when the copy
// is complete: an existing target survives a failed copy. False when the copy did not happen.
bool CopyFileReplacing(const std::string& from, const std::string& to);

// Opens `name` (relative to `dirFd`, or a path with AT_FDCWD) as a folder that only this user
// can use: a real directory, not a link, owned by the effective user, with no permissions for
// group or others. Returns a close-on-exec descriptor, or -1 with errno ENOENT when nothing is
// there and EPERM when what is there is not such a folder.
int OpenPrivateFolderAt(int dirFd, const std::string& name);

// True when `name` in the folder `dirFd` is, without following a link, the folder open as `fd`.
bool SameFolderAt(int dirFd, const std::string& name, int fd);

// Deletes every regular file directly in the folder open as `folderFd`. Entries are never
// followed: links, folders and anything else stay.
void DeleteFilesIn(int folderFd);

}  // namespace gridwell::fileops
