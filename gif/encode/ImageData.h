#pragma once
// The image data step of writing a frame: the LZW minimum code size byte, the
// coded pixels in data sub-blocks, and the block terminator.

#include "platform/rtl/Streams.h"

namespace gif {

class TGIFSubImage;

// Encodes Frame's Pixels with the encoder its picture's EncoderKind selects
// (1 run-length, anything else LZW). The code size and colour count come from
// the frame's local colour table, or from the picture's bit depth when the
// frame has none. A pixel outside the colour count raises GIFException
// "Color not in color table" and leaves a truncated image in Stream.
void WriteImageData(TGIFSubImage& Frame, platform::TStream& Stream);

}  // namespace gif
