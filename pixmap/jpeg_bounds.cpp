// The JPEG decoder's cost limits: a progress monitor that counts the blocks each
// scan visits, a warning hook that refuses data ending within the first rows, and
// the check of the frame size against the bytes.
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jerror.h>
#include <jpeglib.h>

#include "pixmap/jpeg_bounds.h"

namespace {

// Data that ends in the first scan before this part of the rows is refused: too
// little is left to call it a picture, and finishing it with grey would cost the
// whole frame. Real photos cut to a twentieth of their bytes still cover more.
constexpr unsigned kFewestRowsPart = 64;

// The fewest bits a coded block takes: in a Huffman-coded sequential scan its DC
// difference and its end-of-block, at least one bit each. Progressive and
// arithmetic coding can share bits between blocks; real encoders still spend a bit
// or more on each block's DC value, so one bit is the floor there.
size_t FewestBitsPerBlock(j_decompress_ptr d) { return d->progressive_mode || d->arith_code ? 1 : 2; }

// Each scan visits the blocks of its components. One pass over all blocks comes
// with the frame (a sequential file, or the DC scan of a progressive one); the
// rest is paid for by bytes, with a floor for small files. A real progressive
// photo visits a few blocks per byte (about ten scans over blocks of two to twenty
// bytes); a file of nearly empty scans over a large frame would visit thousands,
// each visit costing time.
constexpr size_t kScanBlocksPerByte = 16;
constexpr size_t kScanBlocksFloor = size_t(1) << 22;

size_t Saturated(size_t a, size_t factor, size_t add) {
  if (a > (SIZE_MAX - add) / factor) return SIZE_MAX;
  return a * factor + add;
}

void CountScan(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  auto* g = reinterpret_cast<JpegCostGuard*>(d->progress);
  if (d->input_scan_number == g->scan) return;
  g->scan = d->input_scan_number;
  for (int i = 0; i < d->comps_in_scan; ++i)
    g->scanWork += size_t(d->cur_comp_info[i]->width_in_blocks) * d->cur_comp_info[i]->height_in_blocks;
  if (g->scanWork > Saturated(g->bytesLeft, kScanBlocksPerByte, kScanBlocksFloor + g->blocks))
    ERREXIT1(cinfo, JERR_IMAGE_TOO_BIG, 0);
}

// Warnings that some of the coded data is missing or was skipped: the decoder
// fills in grey or steps over it.
bool DataLost(int code) {
  return code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC ||
         code == JWRN_NOT_SEQUENTIAL || code == JWRN_EXTRANEOUS_DATA || code == JWRN_HUFF_BAD_CODE ||
         code == JWRN_BOGUS_PROGRESSION;
}

// Warnings: the data ended, or broke off at a marker other than a restart (after a
// restart marker the decoder picks up again).
void Warn(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  cinfo->err->num_warnings++;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  const int code = cinfo->err->msg_code;
  if (DataLost(code)) reinterpret_cast<JpegCostGuard*>(d->progress)->cut = true;
  const bool restart = d->unread_marker >= 0xD0 && d->unread_marker <= 0xD7;
  const bool broken = code == JWRN_JPEG_EOF || (code == JWRN_HIT_MARKER && !restart);
  if (broken && d->input_scan_number <= 1 && d->input_iMCU_row < d->total_iMCU_rows / kFewestRowsPart)
    ERREXIT(cinfo, JERR_INPUT_EOF);
}

}  // namespace

void JpegGuardCost(j_decompress_ptr cinfo, JpegCostGuard* guard) {
  guard->progress.progress_monitor = CountScan;
  cinfo->progress = &guard->progress;
  cinfo->err->emit_message = Warn;
}

// The bytes must be able to code the part of the blocks that a picture needs
// (less is refused when the data ends) at the fewest bits a block takes.
bool JpegClaimFits(j_decompress_ptr cinfo, JpegCostGuard* guard) {
  size_t blocks = 0;
  for (int c = 0; c < cinfo->num_components; ++c)
    blocks += size_t(cinfo->comp_info[c].width_in_blocks) * cinfo->comp_info[c].height_in_blocks;
  guard->blocks = blocks;
  return blocks / kFewestRowsPart * FewestBitsPerBlock(cinfo) / 8 <= guard->bytesLeft;
}
