// Internal to the HEIF decoder: registers with libheif an HEVC decoder that
// starts no threads of its own. Call once, after heif_init.
#pragma once

bool RegisterHevcDecoder();
