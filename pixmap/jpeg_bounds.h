// Internal to the JPEG decoder: what a file may cost, weighed against its bytes,
// and whether all of its data was there.
// Data that ends or breaks off within the first sixty-fourth of the rows is
// refused instead of being finished with grey; a frame may claim no more blocks
// than the bytes could code up to that point; and the scans together may visit
// the blocks once plus as often again as the bytes warrant. Include after
// <jpeglib.h>.
#pragma once
#include <cstddef>

struct JpegCostGuard {
  jpeg_progress_mgr progress;  // first member: libjpeg hands this pointer back
  size_t bytesLeft = 0;        // of the stream when decoding began
  size_t blocks = 0;           // of the frame, all components
  size_t scanWork = 0;         // blocks visited by the scans begun so far
  int scan = 0;                // the last scan counted
  bool cut = false;            // data ended early or was stepped over: not all there
};

// Installs the scan-work limit and the early-end check; call after the error
// manager is in place and before jpeg_read_header.
void JpegGuardCost(j_decompress_ptr cinfo, JpegCostGuard* guard);

// After jpeg_read_header: counts the frame's blocks; false when the bytes left
// could not code the part of them that must be there.
bool JpegClaimFits(j_decompress_ptr cinfo, JpegCostGuard* guard);
