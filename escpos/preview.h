// The text preview of a print job: what a person reads on the receipt, as
// UTF-8 lines, with codes, images and cuts named in brackets.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace escpos {

// Turns text bytes of the printer's code page (949: double-byte Korean,
// 437: single bytes) into UTF-8; the caller's platform does the conversion.
// It must take any bytes (a broken character becomes a replacement mark).
using ToUtf8 = std::function<std::string(std::string_view bytes, unsigned codePage)>;

// At most this many bytes of preview; a longer one ends with kPreviewCut.
inline constexpr size_t kMaxPreviewBytes = 64 * 1024;
// At most this many bytes of a barcode's or symbol's data are shown.
inline constexpr size_t kMaxDataShown = 256;

// The markers, each on a line of its own except the unknown bytes, which
// stand where they were in the line:
//   "[cut]"                    GS V, ESC i, ESC m
//   "[CODE128: ORDER-0042]"    GS k, by symbology name, CODE128 as it reads
//   "[QR: https://...]"        GS ( k print (fn 81) of the stored data; also
//                              "[PDF417: ...]", "[DATAMATRIX: ...]", ESC Z
//   "[image 384×120]"          raster and bit images in dots (GS v 0, GS Q 0,
//                              ESC * bands, GS ( L / GS 8 L fn 112 + fn 50)
//   "[stored image]"           an image kept in the printer (FS p, GS ( L fn 69)
//   "[unknown bytes: 3]"       bytes the decoder cannot place
inline constexpr std::string_view kCutMarker = "[cut]";
inline constexpr std::string_view kStoredImageMarker = "[stored image]";
inline constexpr std::string_view kPreviewCut = "[preview cut here: the job goes on]";

// The preview of a job's bytes; `codePage` is the text's code page (949 or
// 437). Lines are separated by '\n' (LF, CR LF, ESC d and ESC J end a line;
// runs of empty lines show as one). Bytes the decoder does not understand are
// counted, never shown raw; the result never holds control characters other
// than '\n' and is at most kMaxPreviewBytes plus the cut marker.
std::string PreviewText(std::string_view job, unsigned codePage, const ToUtf8& toUtf8);

// The code page a job's text is in, as the printer will read it: the job's
// own choice when it makes one (FS & double-byte: 949, FS . single-byte:
// 437), else 949 when every text byte above 0x7F pairs up as a Korean
// double-byte character, else 437; `fallback` for a job of plain ASCII.
unsigned TextCodePage(std::string_view job, unsigned fallback);

}  // namespace escpos
