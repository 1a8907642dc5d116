// How the JPEG writers catch libjpeg's fatal errors: error_exit must not
// return, so it records the encoder's message and code and jumps back to the
// setjmp of the call that failed. Shared by the whole-picture and the band
// writer; include after <jpeglib.h>.
#pragma once

#include <csetjmp>
#include <string>

namespace velmora {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  int code;
};

// Sets up `error` as the error manager of a compressor (jpeg_std_error with
// the two handlers below) and returns it for info->err.
jpeg_error_mgr* TrapJpegErrors(JpegError& error);

// The one-line message of a failed write: the file, what was being done
// ("initialising for" or "saving"), the encoder's own words and its number.
std::string JpegWriteError(const std::string& path, const char* what, const JpegError& error);

}  // namespace velmora
