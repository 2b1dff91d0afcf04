// What the archive format cannot hold and what a damaged archive looks like. These are not
// run-time I/O errors: the file operations succeeded, the contents are the problem.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kestravuna {

enum class ArchiveFault {
  TooManyFiles,     // more than 255 packable files in the folder
  FileTooLarge,     // one file of 2^31 bytes or more
  ArchiveTooLarge,  // all files together would make an archive of 2^31 bytes or more
  NameNotStorable,  // a name longer than 255 bytes or outside the 8-bit code page
  FileChanged,      // a file grew or shrank while it was packed
  DataEndsEarly,    // the data area is shorter than the directory says
  NegativeSize,     // an offset field smaller than the end of the previous file
  UnsafeName        // a stored name that is no plain file name of the target folder
};

class EArchiveError : public std::runtime_error {
 public:
  // The fault's German text; a file name, where given, follows it.
  explicit EArchiveError(ArchiveFault fault, std::string_view fileName = {});
  ArchiveFault Fault() const noexcept { return fault_; }

 private:
  ArchiveFault fault_;
};

}  // namespace kestravuna
