// The libjpeg error manager shared by the JPEG decoder and encoder.
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <csetjmp>

#include <jpeglib.h>

#include "pixmap/jpeg_common.h"

namespace {

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* JpegErrors(JpegErrorManager* err) {
  jpeg_error_mgr* pub = jpeg_std_error(&err->pub);
  pub->error_exit = ErrorExit;
  pub->output_message = OutputMessage;
  return pub;
}
