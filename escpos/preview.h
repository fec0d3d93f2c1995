// The text preview of a print job: what a person reads on the receipt, as
// UTF-8 lines, with codes, images and cuts named in brackets.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace escpos {

// Turns text bytes of the printer's code page (949: double-byte Korean,
// 437: single bytes) into UTF-8; the caller's platform does the conversion.
using ToUtf8 = std::function<std::string(std::string_view bytes, unsigned codePage)>;

// The preview of a job's bytes; `codePage` is the text's code page (949 or
// 437). Bytes the decoder does not understand are counted, never shown raw.
std::string PreviewText(std::string_view job, unsigned codePage, const ToUtf8& toUtf8);

}  // namespace escpos
