// Internal to the JPEG codec: the error manager shared by decoder and encoder. Its
// fatal-error exit jumps back to the caller's recovery point, its message output
// prints nothing. Include after <jpeglib.h>.
#pragma once
#include <csetjmp>

struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// Fills `err` and returns the pointer to store in cinfo->err.
jpeg_error_mgr* JpegErrors(JpegErrorManager* err);
