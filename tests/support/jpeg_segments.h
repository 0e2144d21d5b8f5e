// Photo metadata for test files, built byte by byte: EXIF blocks with an
// Orientation tag (well-formed or deliberately broken), ICC profiles cut into
// APP2 pieces, and inserting such segments into a JPEG file right after its SOI,
// or a chunk into a PNG file right after its header.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// "Exif\0\0" and a TIFF structure whose IFD0 holds one Orientation entry.
std::string ExifOrientationBlock(int orientation, bool bigEndian = false);

// APP2 payloads "ICC_PROFILE\0", sequence number, count, piece of the profile.
std::vector<std::string> IccPieces(const std::string& profile, size_t pieceBytes);

// The JPEG with an APPn segment (marker 0xE0 + n) inserted after the SOI marker;
// segments inserted later come first.
std::string InsertSegment(const std::string& jpeg, int marker, const std::string& payload);

// The PNG with a chunk of the given four-letter type (CRC computed) right after IHDR.
std::string InsertPngChunk(const std::string& png, const std::string& type, const std::string& data);
